// regsvr32: registers or unregisters an in-process server by loading the shared library and
// calling its exported DllRegisterServer or DllUnregisterServer.
//
//   regsvr32 [/u] [/s] FILE...
//
// /u unregisters; /s is silent; /?, -h or --help shows the usage. Several files are handled in
// turn. Without /s each outcome is shown in a message box (a Qt box when a display is present,
// else through the scripted interface, which answers and logs it to VELTRANO_UI_LOG); it is
// always printed on standard output. Exit code 0 on success, as on Windows 1 for bad
// arguments, 3 when the library does not load, 4 when the entry point is missing and 5 when the
// call fails (with several files, the code of the first that failed).
#include <dlfcn.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/text/vbstring.h"
#include "platform/ui/qt_ui.h"
#include "platform/ui/user_interface.h"

namespace {

using EntryPoint = long (*)();

bool displayPresent() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::string(platform) == "offscreen") return false;
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

constexpr const char* kUsage =
    "Usage: regsvr32 [/u] [/s] FILE...\n\n"
    "/u - Unregister server\n"
    "/s - Silent; display no message boxes\n"
    "/?, -h, --help - Show this text";

// "/x" and "-x" are switches; "/tmp/x.so" is a file.
bool isSwitch(const std::string& a) {
  if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
  return a.find_first_of("/\\.", 1) == std::string::npos;
}

std::string hex(long hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(hr) & 0xFFFFFFFFul);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false, help = false;
  std::string unknown;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const std::string u = veltrano::text::UCase(a);
    if (u == "/U" || u == "-U") unregister = true;
    else if (u == "/S" || u == "-S") silent = true;
    else if (u == "/?" || u == "-?" || u == "-H" || u == "--HELP") help = true;
    else if (isSwitch(a)) unknown = unknown.empty() ? a : unknown;
    else files.push_back(a);
  }

  std::unique_ptr<QApplication> app;
  std::unique_ptr<veltrano::ui::QtUi> qtUi;
  if (!silent && displayPresent()) {
    app = std::make_unique<QApplication>(argc, argv);
    qtUi = std::make_unique<veltrano::ui::QtUi>();
    veltrano::ui::install(qtUi.get());
  }
  veltrano::ui::current().setAppTitle("RegSvr32");
  auto report = [&](const std::string& message, bool error, int code) {
    std::printf("%s\n", message.c_str());
    if (!silent) veltrano::ui::MsgBox(message, error ? veltrano::ui::vbCritical : veltrano::ui::vbInformation, "RegSvr32");
    return code;
  };

  if (help) return report(kUsage, false, 0);
  if (!unknown.empty()) return report("Unrecognized flag: " + unknown + "\n\n" + kUsage, true, 1);
  if (files.empty()) return report(std::string("To register a module, you must provide a binary name.\n\n") + kUsage, true, 1);

  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto handle = [&](const std::string& file) {
    const std::string native = veltrano::fs::toNative(file).string();
    void* library = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = dlerror();
      return report("The module \"" + file + "\" failed to load.\n\nMake sure the binary is stored at the specified path "
                    "or debug it to check for problems with the binary or dependent libraries.\n\n" +
                        std::string(why ? why : ""),
                    true, 3);
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(library, entryName));
    if (!entry) {
      dlclose(library);
      return report("The module \"" + file + "\" was loaded but the entry-point " + entryName +
                        " was not found.\n\nMake sure that \"" + file + "\" is a valid DLL or OCX file and then try again.",
                    true, 4);
    }
    const long hr = entry();
    dlclose(library);
    if (hr != 0)
      return report("The module \"" + file + "\" was loaded but the call to " + entryName + " failed with error code " +
                        hex(hr) + ".",
                    true, 5);
    return report(std::string(entryName) + " in " + file + " succeeded.", false, 0);
  };
  int exitCode = 0;
  for (const std::string& file : files) {
    const int code = handle(file);
    if (exitCode == 0) exitCode = code;
  }
  return exitCode;
}
