// Processes on Windows: a Toolhelp snapshot, TerminateProcess, and CreateProcessW.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <filesystem>

#include "platform/process/process.h"
#include "platform/process/process_faults.h"
#include "platform/text/wide.h"

namespace veltrano::proc {
namespace {

// One argument as the C run-time's command-line parser reads it back: quoted when it holds
// blanks or quotes (or is empty), quotes escaped, and backslashes doubled before a quote.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

}  // namespace

std::vector<ProcessEntry> snapshot() {
  std::vector<ProcessEntry> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
    out.push_back({static_cast<int>(entry.th32ProcessID), text::narrow(entry.szExeFile)});
  CloseHandle(snap);
  return out;
}

bool terminate(int pid) {
  if (terminationDenied(pid)) return false;
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (!process) return false;
  const bool ended = TerminateProcess(process, 1) != 0;
  CloseHandle(process);
  return ended;
}

int startDetached(const std::string& program, const std::vector<std::string>& args) {
  if (takeFailedStart()) return -1;
  std::wstring commandLine = quoted(text::widen(program));
  for (const auto& a : args) commandLine += L" " + quoted(text::widen(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No handle is inherited and the program gets no console of ours: it outlives us unawaited.
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                      &startup, &info))
    return -1;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return static_cast<int>(info.dwProcessId);
}

bool startInOrder(const std::vector<std::vector<std::string>>& commands) {
  // cmd.exe /s /c takes the text between the first and the last quote as it is; inside it each
  // word is quoted, so blanks and cmd's operators in a word stay part of it.
  std::wstring line;
  for (const auto& words : commands) {
    if (words.empty()) continue;
    if (!line.empty()) line += L" & ";
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (words[i].find('"') != std::string::npos) return false;
      line += (i ? L" \"" : L"\"") + text::widen(words[i]) + L"\"";
    }
  }
  if (takeFailedStart()) return false;
  std::wstring system(MAX_PATH, L'\0');
  const UINT n = GetSystemDirectoryW(system.data(), static_cast<UINT>(system.size()));
  system.resize(n < system.size() ? n : 0);
  std::wstring commandLine = L"\"" + system + L"\\cmd.exe\" /d /s /c \"" + line + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                      &startup, &info))
    return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

std::string findOnPath(std::string_view name) {
  if (name.empty()) return {};
  // The path as given, then with each extension of PATHEXT when it has none.
  std::vector<std::wstring> names{text::widen(name)};
  if (std::filesystem::path(names.front()).extension().empty()) {
    const wchar_t* exts = _wgetenv(L"PATHEXT");
    std::wstring list = exts && *exts ? exts : L".COM;.EXE;.BAT;.CMD";
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t end = list.find(L';', start);
      if (end == std::wstring::npos) end = list.size();
      if (end > start) names.push_back(names.front() + list.substr(start, end - start));
      start = end + 1;
    }
  }
  const wchar_t* path = _wgetenv(L"PATH");
  if (!path) return {};
  const std::wstring folders(path);
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(L';', start);
    if (end == std::wstring::npos) end = folders.size();
    if (end > start) {
      const std::filesystem::path folder(folders.substr(start, end - start));
      for (const auto& n : names) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder / n, ec)) return text::narrow((folder / n).wstring());
      }
    }
    start = end + 1;
  }
  return {};
}

std::vector<std::string> textViewer() {
  std::string notepad = findOnPath("notepad.exe");
  return notepad.empty() ? std::vector<std::string>{} : std::vector<std::string>{notepad};
}

std::string currentExecutable() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) return text::narrow({path.data(), n});
    path.resize(path.size() * 2);
  }
}

int currentPid() { return static_cast<int>(GetCurrentProcessId()); }

}  // namespace veltrano::proc
