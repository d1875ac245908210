#include "platform/ui/win32_ui.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <vector>

#include "platform/runtime/environment.h"
#include "platform/text/vbstring.h"
#include "platform/text/wide.h"
#include "platform/ui/scripted_ui.h"

namespace veltrano::ui {
namespace {

// Control ids of the input box.
constexpr WORD kPromptId = 100, kEditId = 101;

// Appends a DLGITEMTEMPLATE (DWORD-aligned) with a predefined class and a caption.
void addItem(std::vector<WORD>& t, DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
             const std::wstring& caption) {
  if (t.size() % 2) t.push_back(0);
  DLGITEMTEMPLATE item{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
  const auto* raw = reinterpret_cast<const WORD*>(&item);
  t.insert(t.end(), raw, raw + sizeof item / sizeof(WORD));
  t.push_back(0xFFFF);
  t.push_back(cls);
  t.insert(t.end(), caption.begin(), caption.end());
  t.push_back(0);
  t.push_back(0);  // no creation data
}

struct InputState {
  std::wstring text;
};

INT_PTR CALLBACK inputProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      auto* state = reinterpret_cast<InputState*>(lParam);
      SetDlgItemTextW(dialog, kEditId, state->text.c_str());
      SendDlgItemMessageW(dialog, kEditId, EM_SETSEL, 0, -1);
      return TRUE;  // the edit box, first in tab order, takes the focus
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        const int n = GetWindowTextLengthW(GetDlgItem(dialog, kEditId));
        state->text.assign(static_cast<std::size_t>(n) + 1, L'\0');
        GetDlgItemTextW(dialog, kEditId, state->text.data(), n + 1);
        state->text.resize(static_cast<std::size_t>(n));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default: break;
  }
  return FALSE;
}

std::optional<std::string> fileDialog(const FileDialogSpec& dlg, bool save, HWND owner) {
  const std::wstring filter = commonDialogFilter(dlg.filter);
  const std::wstring title = text::widen(dlg.title);
  const std::wstring initialDir = text::widen(dlg.initialDir);
  const std::wstring defaultExt = text::widen(dlg.defaultExt);
  std::wstring name = text::widen(dlg.fileName);
  name.resize(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(dlg.filterIndex > 0 ? dlg.filterIndex : 1);
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  ofn.Flags = static_cast<DWORD>(dlg.flags) | OFN_EXPLORER | OFN_NOCHANGEDIR |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen) return std::nullopt;
  return text::narrow(name.c_str());
}

}  // namespace

std::wstring commonDialogFilter(const std::string& filter) {
  std::wstring out;
  const auto parts = text::Split(filter, "|");
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    out += text::widen(parts[i]);
    out += L'\0';
    out += text::widen(parts[i + 1]);
    out += L'\0';
  }
  if (!out.empty()) out += L'\0';
  return out;
}

Win32Ui::Win32Ui() {
  logPath_ = environmentVariable("VELTRANO_UI_LOG").value_or("");
}

void Win32Ui::setOwnerWindow(std::uintptr_t window) { owner_ = window; }

std::uintptr_t Win32Ui::ownerOfNextBox() const {
  const HWND owner = reinterpret_cast<HWND>(owner_);
  if (owner && IsWindow(owner) && IsWindowVisible(owner)) return owner_;
  return reinterpret_cast<std::uintptr_t>(GetActiveWindow());
}

Answer Win32Ui::messageBox(const MessageBoxSpec& box) {
  const std::string title = box.title.empty() ? appTitle_ : box.title;
  // The style word is the system's own: buttons, icon and default button have its values.
  const UINT style = static_cast<UINT>(box.buttons) | static_cast<UINT>(box.icon) |
                     static_cast<UINT>((box.defaultButton - 1) * 256) | MB_SETFOREGROUND;
  const HWND owner = reinterpret_cast<HWND>(ownerOfNextBox());
  const int r = MessageBoxW(owner, text::widen(box.text).c_str(), text::widen(title).c_str(), style);
  const auto answers = answersOf(box.buttons);
  Answer answer = answers.front();
  for (Answer a : answers)
    if (r == static_cast<int>(a)) answer = a;
  appendUiLog(logPath_, {"MsgBox", title, box.text, box.buttons, box.icon, answerName(answer)});
  return answer;
}

std::optional<std::string> Win32Ui::inputBox(const InputBoxSpec& box) {
  const std::string title = box.title.empty() ? appTitle_ : box.title;
  // The dialog, as VB's InputBox lays it out: the prompt at the left, 확인 and 취소 at the
  // right, the text below.
  std::vector<WORD> t;
  DLGTEMPLATE head{DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 4, 0, 0, 280, 92};
  const auto* raw = reinterpret_cast<const WORD*>(&head);
  t.insert(t.end(), raw, raw + sizeof head / sizeof(WORD));
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  const std::wstring caption = text::widen(title);
  t.insert(t.end(), caption.begin(), caption.end());
  t.push_back(0);
  t.push_back(9);  // point size of the font
  for (wchar_t c : std::wstring(L"MS Shell Dlg")) t.push_back(c);
  t.push_back(0);
  addItem(t, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, 70, 264, 14, kEditId, 0x0081, L"");
  addItem(t, BS_DEFPUSHBUTTON | WS_TABSTOP, 220, 8, 52, 14, IDOK, 0x0080, L"확인");
  addItem(t, BS_PUSHBUTTON | WS_TABSTOP, 220, 26, 52, 14, IDCANCEL, 0x0080, L"취소");
  addItem(t, SS_LEFT, 8, 8, 204, 58, kPromptId, 0x0082,
          text::widen(text::Replace(box.prompt, "\r\n", "\n")));
  InputState state{text::widen(box.defaultText)};
  const HWND owner = reinterpret_cast<HWND>(ownerOfNextBox());
  const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()), owner,
                                            inputProc, reinterpret_cast<LPARAM>(&state));
  const bool ok = r == IDOK;
  appendUiLog(logPath_, {"InputBox", title, box.prompt, Buttons::OKCancel, Icon::None,
                         ok ? "Input:" + text::narrow(state.text) : std::string("Cancel")});
  if (!ok) return std::nullopt;
  return text::narrow(state.text);
}

std::optional<std::string> Win32Ui::openFileDialog(const FileDialogSpec& dlg) {
  auto chosen = fileDialog(dlg, false, reinterpret_cast<HWND>(ownerOfNextBox()));
  appendUiLog(logPath_, {"Open", dlg.title, dlg.filter, Buttons::OKCancel, Icon::None, chosen ? "File:" + *chosen : "Cancel"});
  return chosen;
}

std::optional<std::string> Win32Ui::saveFileDialog(const FileDialogSpec& dlg) {
  auto chosen = fileDialog(dlg, true, reinterpret_cast<HWND>(ownerOfNextBox()));
  appendUiLog(logPath_, {"Save", dlg.title, dlg.filter, Buttons::OKCancel, Icon::None, chosen ? "File:" + *chosen : "Cancel"});
  return chosen;
}

void Win32Ui::pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  fireDueTimers();
}

void Win32Ui::setMousePointer(MousePointer p) {
  pointer_ = p;
  SetCursor(LoadCursorW(nullptr, p == MousePointer::Hourglass ? IDC_WAIT : IDC_ARROW));
}

}  // namespace veltrano::ui
