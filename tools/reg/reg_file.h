#pragma once
// The Windows .reg script format, as regedit and `reg export` write it and `reg import` reads it.
//
// Written: "Windows Registry Editor Version 5.00", CRLF line ends, UTF-16LE with a byte-order
// mark; strings quoted with \" and \\ escapes, dword:xxxxxxxx, hex:.. for binary data,
// hex(2):/hex(7): for expandable and multi-strings as UTF-16LE bytes, hex(b): for qwords, other
// types as hex(N):; long hex data wrapped after 25 bytes with a "\" at the end of the line,
// as regedit does.
//
// Read: the same, also as UTF-8 (with or without a byte-order mark) or CP949, and the older
// "REGEDIT4" scripts, whose hex(2)/hex(7) data are ANSI bytes; [-KEY] deletes a key with its
// sub-keys, "name"=- deletes a value; ";" starts a comment.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"
#include "tools/reg/reg_value.h"

namespace veltrano::regtool {

// One value line of a script: set the value (type and data as the store holds them, text in
// CP949) or delete it.
struct ScriptValue {
  std::string name;  // "" for the default value (@)
  bool remove = false;
  std::uint32_t type = reg::REG_NONE;
  Bytes data;
  int line = 0;
};

// One [KEY] or [-KEY] section.
struct ScriptKey {
  reg::HKEY root = reg::HKEY_CURRENT_USER;
  std::string path;  // below the root, components joined by "\"; "" for the root itself
  bool remove = false;
  std::vector<ScriptValue> values;
  int line = 0;
};

// The outcome of reading a script: the sections in file order, or the line at fault and what
// is wrong with it (nothing is applied from a script that fails to read).
struct ScriptParse {
  bool ok = false;
  int line = 0;  // 1-based; 0 when the fault is not on one line
  std::string description;
  std::vector<ScriptKey> keys;
};

ScriptParse parseRegScript(std::string_view fileBytes);

// A key to export: its full name ("HKEY_CURRENT_USER\Software\...") and its values.
struct ExportKey {
  std::string fullPath;
  std::vector<reg::ValueEntry> values;
};

// The text of a version 5.00 script (UTF-8, CRLF line ends).
std::string regScriptText(const std::vector<ExportKey>& keys);
// The bytes of the file regedit writes for that text: a byte-order mark and UTF-16LE.
std::string regFileBytes(std::string_view scriptText);

}  // namespace veltrano::regtool
