// Processes on Windows: a Toolhelp snapshot, TerminateProcess, and CreateProcessW.
#include <windows.h>
#include <tlhelp32.h>

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
