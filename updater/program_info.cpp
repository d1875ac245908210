#include "updater/program_info.h"

#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/text/vbstring.h"

namespace meridox {

namespace text = veltrano::text;

std::string CommandText(int argc, char** argv) {
  std::string out;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) out += ' ';
    out += argv[i];
  }
  return out;
}

std::string ExeNameOf(std::string_view programFile) {
  std::string name = veltrano::fs::fileNamePart(programFile);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

void ParseVersion(std::string_view versionText, int& major, int& minor, int& revision) {
  const auto parts = text::Split(versionText, ".");
  int* targets[] = {&major, &minor, &revision};
  for (std::size_t i = 0; i < 3; ++i) {
    *targets[i] = 0;
    if (i < parts.size() && text::IsNumeric(parts[i])) *targets[i] = static_cast<int>(text::Val(parts[i]));
  }
}

ProgramInfo ProgramInfo::fromProcess(int argc, char** argv, std::string_view versionText) {
  std::string file = veltrano::proc::currentExecutable();
  // A program file replaced while it runs is shown as "path (deleted)".
  const std::string deleted = " (deleted)";
  if (file.size() > deleted.size() && file.compare(file.size() - deleted.size(), deleted.size(), deleted) == 0)
    file.erase(file.size() - deleted.size());
  if (file.empty() && argc > 0) file = veltrano::fs::toNative(argv[0]).string();

  ProgramInfo info;
  info.path = veltrano::fs::folderPart(file);
  info.exeName = ExeNameOf(file);
  ParseVersion(versionText, info.major, info.minor, info.revision);
  info.command = CommandText(argc, argv);
  return info;
}

}  // namespace meridox
