#include "updater/mod_killproc.h"

#include "platform/process/process.h"
#include "platform/text/vbstring.h"

namespace meridox {

namespace text = veltrano::text;

std::string TextUpToNul(std::string_view s) { return text::UpToNul(s); }

void KillProcessByName(std::string_view name) {
  const std::string wanted = text::UCase(text::Right(name, 9));
  const int self = veltrano::proc::currentPid();
  for (const auto& entry : veltrano::proc::snapshot()) {
    const std::string exe = TextUpToNul(entry.exeFile);
    if (text::UCase(text::Right(exe, 9)) != wanted) continue;
    if (entry.pid == self) continue;  // never the caller itself
    veltrano::proc::terminate(entry.pid);  // refusals are skipped silently
  }
}

}  // namespace meridox
