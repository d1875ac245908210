#pragma once
// Files and folders under Windows-style paths.
//
// A path may use "\" or "/" as separators; doubled separators collapse. "C:" names the folder
// of the deployment setting DRIVE_C (default ~/.local/share/veltrano/drive_c); another drive
// letter X: names the folder in VELTRANO_DRIVE_X, and is missing when that is unset. A path
// beginning with "/" is a native path. A relative path is relative to the current folder.
// Existing names are matched without regard to case (Windows file names are not
// case-sensitive, Linux ones are); a name that does not exist keeps the spelling given.
//
// The operations that change files raise the run-time's file errors (53 file not found,
// 58 file already exists, 70 permission denied, 75 path/file access error, 76 path not found).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace veltrano::fs {

// The native path a Windows-style path names, with existing components matched by case.
std::filesystem::path toNative(std::string_view windowsPath);
// The folder that stands for a drive letter ("C").
std::filesystem::path driveFolder(char letter);

// A normal file (not a folder) exists at the path.
bool fileExists(std::string_view path);
bool folderExists(std::string_view path);
// Length in bytes; raises 53 when missing.
std::uint64_t fileLength(std::string_view path);

// Creates one folder level (FileSystemObject.CreateFolder): raises 58 when it exists and 76
// when its parent is missing.
void createFolder(std::string_view path);
// Deletes a file (Kill): raises 53 when missing, 70 when refused.
void deleteFile(std::string_view path);
// Copies a file over any existing target (FileCopy): raises 53 when the source is missing,
// 70/75 when refused.
void copyFile(std::string_view from, std::string_view to);
// Renames a file, replacing an existing target in one step (rename(2)).
void renameFile(std::string_view from, std::string_view to);

// The run-time file error for the errno of a failed open (76 path not found, 70 permission
// denied, 52 bad file name, 61 disk full, else 75) and of a failed write (61 disk full, else 57),
// for the modules that write files themselves.
int openErrorOf(int errnoValue);
int writeErrorOf(int errnoValue);

// File name part of a Windows-style path (after the last separator).
std::string fileNamePart(std::string_view path);
// Folder part without the final separator.
std::string folderPart(std::string_view path);

// Test hooks: the next `count` operations of the kind ("delete", "copy", "create", "rename",
// "open", "write", "place" (side_file.h), or "*") on a path containing `pathPart` (folders
// separated by "/" on every platform; letters without regard to case, as names are matched)
// raise `errorNumber` (count 0: every one). A test gives faults to a process it starts through
// VELTRANO_FS_FAULTS: "operation:pathPart:number[:count]" entries separated by ";", where the
// number "kill" ends the process at once (SIGKILL) at that point.
void injectFault(std::string operation, std::string pathPart, int errorNumber, int count = 1);
void clearFaults();
// Raises the injected fault for this operation and path, if any (used by file writers too).
void checkFault(std::string_view operation, const std::filesystem::path& nativePath);

}  // namespace veltrano::fs
