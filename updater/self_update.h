#pragma once
// The self-update relay. The updater cannot overwrite its running file, so its next version is
// published as the patch program "meridoxpch.exe" and downloaded beside "meridox.exe". Three
// processes take part, each ending the one before it by name:
//   1. the old updater, at the end of its run, starts "<folder>\meridoxpch.exe COPY" and ends;
//   2. the patch program ends the old updater, puts a copy of itself in place of
//      "meridox.exe", starts "<folder>\meridox.exe Delete" and ends;
//   3. the new updater ends the patch program, deletes the patch file and ends.
// File names are matched without regard to case.
//
// The updater file is replaced by copying the patch file into a side file beside
// "meridox.exe" and renaming that over it (one step, platform/fs/side_file.h), so the folder
// never lacks a whole updater. A copy or delete the file system refuses is tried again a bounded number of times;
// when it still fails the user is told and the files stay as they are (a patch file left in
// place makes the next run hand off again).

#include <string>

#include "updater/program_info.h"

namespace meridox {

inline constexpr const char* kUpdaterProgramName = "meridox";
inline constexpr const char* kPatchProgramName = "meridoxpch";
inline constexpr int kRelayAttempts = 10;
inline constexpr int kRelayAttemptPauseMs = 500;
// Exit statuses of the relay modes.
inline constexpr int kRelayDone = 0;
inline constexpr int kRelayFailed = 1;

// program folder + "\meridox.exe" / "\meridoxpch.exe".
std::string UpdaterFile(const ProgramInfo& program);
std::string PatchFile(const ProgramInfo& program);

// "COPY" in any case, honoured only for the patch program.
bool IsCopyCommand(const ProgramInfo& program);
// "Delete" exactly, under any name.
bool IsDeleteCommand(const ProgramInfo& program);

// Run by every completion path just before the end: the updater starts the hand-off when a
// patch file lies in its folder. With a signing key in the deploy settings (UPDATE_PUBLIC_KEY)
// the patch file must carry the signature it was verified with when it was placed
// (PatchSignatureFile); a patch file that cannot be verified is deleted, never started.
// Raises 53 when the patch program cannot be started.
void HandOffCheck(const ProgramInfo& program);
// Where the run keeps the signature of a verified patch file: the patch file + ".sig".
std::string PatchSignatureFile(const ProgramInfo& program);
// True when `file` is the patch program's file name.
bool IsPatchFileName(const std::string& fileName);

// Copy mode and clean-up mode; both end the program (veltrano::ProgramEnd with kRelayDone, or
// kRelayFailed when the file step failed).
[[noreturn]] void RunCopyMode(const ProgramInfo& program);
[[noreturn]] void RunCleanupMode(const ProgramInfo& program);

// The bounded file steps of the two modes: true when done; false after the last attempt, with
// the file system's reason in `why`.
bool ReplaceUpdaterFile(const ProgramInfo& program, std::string& why);
bool DeletePatchFile(const ProgramInfo& program, std::string& why);

}  // namespace meridox
