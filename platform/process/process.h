#pragma once
// Processes: a snapshot of the running processes with their executable file names, ending a
// process, and starting a program detached (never waited for).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::proc {

struct ProcessEntry {
  int pid;
  std::string exeFile;  // file name of the executable, without folder
};

// The running processes (Toolhelp snapshot). Processes whose executable cannot be read are
// listed under their kernel command name.
std::vector<ProcessEntry> snapshot();

// Ends a process at once (TerminateProcess; SIGKILL). False when it could not be ended.
bool terminate(int pid);

// Starts `program` with `args`, detached in a session of its own, standard input and output
// on /dev/null and no other descriptor inherited (on Windows: CreateProcessW, the arguments
// quoted as the C run-time reads them back, no handle inherited); never waited for. Returns the process id,
// or -1 when the program could not be started.
int startDetached(const std::string& program, const std::vector<std::string>& args);

// Starts the commands (each the program, then its arguments) one after another, each when the
// one before it has ended, in one detached process that nobody waits for; false when that
// process could not be started. No word is read as shell syntax: on Linux the words go to
// /bin/sh as positional parameters; on Windows each word is quoted on a cmd.exe command line
// joined by "&" (a word holding a double quote is refused, and cmd.exe still expands a
// %NAME% of a variable that exists).
bool startInOrder(const std::vector<std::vector<std::string>>& commands);

// The program file that `name` stands for on the search path (PATH, split as the platform
// splits it; on Windows a name without extension also with each extension of PATHEXT); "" when
// there is none.
std::string findOnPath(std::string_view name);

// The platform's text viewer as command words (program first): on Linux $VISUAL when set (it
// may carry arguments), else xdg-open on PATH; on Windows Notepad on PATH. Empty when there is
// none.
std::vector<std::string> textViewer();

// Splits a Windows command line into program and arguments (double quotes group, as the
// shell's start of a program reads them).
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// This process's executable file.
std::string currentExecutable();
int currentPid();

// Test hooks: pids `terminate` must refuse (access denied), and a count of starts to fail.
void denyTermination(int pid);
void clearFaults();
void failNextStarts(int count);

}  // namespace veltrano::proc
