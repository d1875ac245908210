#pragma once
// What the PC says about itself: the system and Windows folders and the serial number of the
// volume that holds drive C:.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrano::sysinfo {

// The system folder as a Windows-style path without a final separator: the deployment setting
// SYSTEM_DIR, by default "C:\WINDOWS\system32". GetSystemDirectoryA's shape: the path is
// written into the first characters of `buffer` (which holds `size` characters) and its length
// returned; when it does not fit, nothing is written and the size needed is returned.
std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size);

// The Windows folder: the WINDIR setting (environment variable WINDIR first); empty when unset.
std::string windowsFolder();

// GetVolumeInformationA for a root such as "C:\": the 32-bit serial of the file system that
// holds the drive's folder (from statvfs's file-system id). False when the drive has no folder.
bool GetVolumeInformationA(std::string_view rootPath, std::uint32_t* serial);

// Test hook: a serial to report instead (nullopt: no volume at all); reset() goes back to the
// real one.
void overrideVolumeSerial(std::optional<std::uint32_t> serial);
void resetVolumeSerial();

}  // namespace veltrano::sysinfo
