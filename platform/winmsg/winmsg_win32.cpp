// WM_COPYDATA on Windows: the receiving window is a hidden top-level window found by its
// title; a send is SendMessageTimeoutW.
#include "platform/winmsg/winmsg.h"  // before <windows.h>, whose WM_COPYDATA is a macro

#include <windows.h>

#include "platform/text/wide.h"

namespace veltrano::winmsg {

struct EndpointAccess {
  static LRESULT deliver(Endpoint& e, const COPYDATASTRUCT& cds, WPARAM wParam) {
    CopyData msg;
    msg.wParam = static_cast<std::uint64_t>(wParam);
    msg.dwData = static_cast<std::uint64_t>(cds.dwData);
    msg.cbData = cds.cbData;
    const auto* p = static_cast<const std::uint8_t*>(cds.lpData);
    if (p) msg.buffer.assign(p, p + cds.cbData);
    ++e.handled_;
    return static_cast<LRESULT>(e.handler_ ? e.handler_(msg) : 0);
  }
};

namespace {

constexpr wchar_t kClassName[] = L"VeltranoCopyDataWindow";

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    auto* endpoint = reinterpret_cast<Endpoint*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (endpoint && cds) return EndpointAccess::deliver(*endpoint, *cds, wParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool registerClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

HWND find(std::string_view title) { return FindWindowW(nullptr, text::widen(title).c_str()); }

}  // namespace

std::unique_ptr<Endpoint> Endpoint::create(std::string title, Handler handler) {
  if (find(title) || !registerClass()) return nullptr;
  // A top-level window (never shown), so that FindWindow finds it as it finds any other.
  HWND window = CreateWindowExW(0, kClassName, text::widen(title).c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return nullptr;
  std::unique_ptr<Endpoint> endpoint(
      new Endpoint(std::move(title), std::string(), reinterpret_cast<std::intptr_t>(window), std::move(handler)));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(endpoint.get()));
  return endpoint;
}

Endpoint::Endpoint(std::string title, std::string path, std::intptr_t handle, Handler handler)
    : title_(std::move(title)), path_(std::move(path)), handle_(handle), handler_(std::move(handler)) {}

Endpoint::~Endpoint() { DestroyWindow(reinterpret_cast<HWND>(handle_)); }

int Endpoint::service(int timeoutMs) {
  handled_ = 0;
  const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  const ULONGLONG end = GetTickCount64() + (timeoutMs < 0 ? 0 : static_cast<ULONGLONG>(timeoutMs));
  for (;;) {
    // Sent messages (another program's SendMessage) are delivered inside PeekMessage.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (handled_ > 0) return handled_;
    const ULONGLONG now = GetTickCount64();
    if (timeoutMs >= 0 && now >= end) return 0;
    const DWORD left = timeoutMs < 0 ? wait : static_cast<DWORD>(end - now);
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT) == WAIT_TIMEOUT) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      return handled_;
    }
  }
}

bool findWindow(std::string_view title) { return find(title) != nullptr; }

std::optional<std::int64_t> sendCopyData(std::string_view title, std::uint64_t wParam, std::uint64_t dwData,
                                         std::uint32_t cbData, std::span<const std::uint8_t> buffer) {
  HWND window = find(title);
  if (!window) return std::nullopt;
  COPYDATASTRUCT cds{};
  cds.dwData = static_cast<ULONG_PTR>(dwData);
  cds.cbData = cbData <= buffer.size() ? cbData : static_cast<DWORD>(buffer.size());
  cds.lpData = const_cast<std::uint8_t*>(buffer.data());
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_COPYDATA, static_cast<WPARAM>(wParam), reinterpret_cast<LPARAM>(&cds),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    return std::nullopt;
  return static_cast<std::int64_t>(result);
}

}  // namespace veltrano::winmsg
