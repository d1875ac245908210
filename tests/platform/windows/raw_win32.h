#pragma once
// Windows's own calls, for checking the platform modules from outside (the registry module's
// header must not meet <windows.h> in one file).

#include <optional>
#include <string>

namespace veltrano::test {

// The REG_SZ value `name` of HKEY_CURRENT_USER\<path> as UTF-8, or nothing.
std::optional<std::string> rawCurrentUserString(const std::string& path, const std::string& name);

// Opens a file as a program that uses it would, sharing neither writing nor deletion, so that
// it cannot be replaced until closeHeld() (returns false when it cannot be opened).
bool holdOpen(const std::string& path);
void closeHeld();

// Acts as the user on the dialog titled `title` once it shows (within 10 s): types `text`
// into its edit box (id `editId`, when given) and presses the button with id `button`.
// Returns false when no such dialog came.
bool pressWhenShown(const std::string& title, int button, int editId = 0, const std::string& text = "");

}  // namespace veltrano::test
