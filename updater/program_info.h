#pragma once
// What the updater knows about its own process: the folder and name of its program file, its
// version and its command text (the run-time's App.Path, App.EXEName, App.Major/Minor/Revision
// and Command$). The window and the self-update relay take it as an object, so tests can run
// the window as a program placed in a folder of their own.

#include <string>
#include <string_view>

namespace meridox {

struct ProgramInfo {
  // Folder of the program's file, without a final separator.
  std::string path;
  // File name of the program without its extension ("meridox" for meridox.exe).
  std::string exeName;
  int major = 0;
  int minor = 0;
  int revision = 0;
  // The whole command text: the arguments after the program, joined by one blank each (the
  // shell has already split the command line at blanks and dropped the quotes).
  std::string command;

  // This process: its executable (what /proc says, else argv[0]), its arguments, and the
  // version text "major.minor.revision" of the build.
  static ProgramInfo fromProcess(int argc, char** argv, std::string_view versionText);
};

// The arguments after the program name joined by one blank.
std::string CommandText(int argc, char** argv);
// The file name without folder and without its last extension.
std::string ExeNameOf(std::string_view programFile);
// "1.2.3" into its three numbers; missing or unreadable parts are 0.
void ParseVersion(std::string_view text, int& major, int& minor, int& revision);

}  // namespace meridox
