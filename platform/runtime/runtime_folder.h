#pragma once
// The per-user runtime folder: where sockets and other files that live only while the user is
// logged in go (the window-message endpoints, Qt's own runtime files).
//
// It is $XDG_RUNTIME_DIR when that is set. Where it is not (a root shell, a service, a
// container), every program of ours uses one fixed folder per user, /tmp/runtime-<user name>,
// made with mode 0700: the folder Qt itself falls back to, so that Qt and the programs that do
// not use Qt agree on it.

#include <string>

namespace veltrano {

// The folder, made when missing. Never fails: a folder that cannot be made is still named.
std::string runtimeFolder();

// Sets XDG_RUNTIME_DIR to runtimeFolder() when it is unset or empty and the folder is a
// directory of this user's, so that Qt finds it without complaint. Call before threads start
// (it changes the environment); the Qt platform library calls it when it is loaded.
void useRuntimeFolder();

}  // namespace veltrano
