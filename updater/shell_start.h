#pragma once
// Starting programs through the shell (the run-time's Shell): a command text is split as
// Windows reads a command line and the program started detached, never waited for.
//
// Program names resolve as the suite expects them to on this platform:
//  - "regsvr32.exe" (any case, with or without ".exe"): "regsvr32" beside the updater's
//    program file, else on PATH (on Windows the system's own regsvr32.exe);
//  - "notepad" / "notepad.exe": the platform's text viewer (proc::textViewer: $VISUAL or
//    xdg-open on Linux, Notepad on Windows); its file arguments are turned into native paths,
//    since the viewer is a program of this platform. Where neither exists, Shell and StartProgram show each file in
//    a text window of the program's own (ui::UserInterface::showText, "README.TXT - 메모장"),
//    return 0 when it is closed, and raise 53 for a file they cannot read;
//  - a path: the file it names, matched without regard to case; a bare name: beside the
//    updater's file, else on PATH.
// A command text that as a whole names an existing file (a path with blanks, unquoted) is that
// program without arguments. The window style of the original calls has no counterpart here.

#include <string>
#include <string_view>
#include <vector>

namespace meridox {

// Starts the command; returns the process id (0 for the own text window, see above). Raises
// 53 (file not found) when the program cannot be found or started. `programFolder` is the
// updater's own folder.
int Shell(std::string_view commandText, const std::string& programFolder);

// Starts a program file with arguments as given (no command-text splitting).
int StartProgram(const std::string& program, const std::vector<std::string>& args, const std::string& programFolder);

// Runs the commands one after another, each started when the one before it has ended, in one
// detached shell that nobody waits for. Raises 53 before starting anything when a program of
// the list cannot be found.
void ShellInOrder(const std::vector<std::string>& commandTexts, const std::string& programFolder);

// The program and leading arguments a command's program name stands for (see above); empty
// when it cannot be found.
std::vector<std::string> ResolveProgram(std::string_view program, const std::string& programFolder);

// Gives a program file placed by the updater the right to run (a Windows program file runs by
// its name alone). Does nothing for other names and reports nothing.
void MarkRunnable(std::string_view path) noexcept;

}  // namespace meridox
