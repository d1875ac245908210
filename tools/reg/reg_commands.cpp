#include "tools/reg/reg_commands.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "platform/registry/registry.h"
#include "platform/text/vbstring.h"
#include "tools/reg/reg_file.h"
#include "tools/reg/reg_value.h"

namespace veltrano::regtool {
namespace {

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kCancelled = "The operation was canceled by the user.";
constexpr const char* kNotFound = "The system was unable to find the specified registry key or value.";
constexpr long kKeyDeleted = 1018;  // ERROR_KEY_DELETED: another process removed the key meanwhile
constexpr const char* kFileError = "Error opening the file. There may be a disk or file system error.";

// A failed command: printed as "ERROR: <message>", with the usage hint for syntax faults.
struct Failure {
  std::string message;
  bool usageHint = false;
};

[[noreturn]] void invalidSyntax(std::string detail = {}) {
  throw Failure{"Invalid syntax." + (detail.empty() ? "" : " " + detail), true};
}

// The message for a Win32 return code of the store; store-wide faults name the store file.
std::string registryMessage(long code) {
  std::string m;
  bool storeWide = true;
  switch (code) {
    case reg::ERROR_FILE_NOT_FOUND: return kNotFound;
    case reg::ERROR_ACCESS_DENIED: return "Access is denied.";
    case kKeyDeleted: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case reg::ERROR_BADDB: m = "The configuration registry database is corrupt."; break;
    case reg::ERROR_CANTOPEN: m = "The configuration registry key could not be opened."; break;
    case reg::ERROR_CANTREAD: m = "The configuration registry key could not be read."; break;
    case reg::ERROR_CANTWRITE: m = "The configuration registry key could not be written."; break;
    case reg::ERROR_DISK_FULL:
      return "There is not enough space on the disk.\nThe registry store " + reg::storePath() +
             " cannot be written or read for lack of space; nothing stored is lost.";
    default:
      m = "Error accessing the registry (error " + std::to_string(code) + ").";
      storeWide = false;
      break;
  }
  if (storeWide) m += "\nThe registry store " + reg::storePath() + " cannot be opened or is damaged.";
  return m;
}

void check(long code) {
  if (code != reg::ERROR_SUCCESS) throw Failure{registryMessage(code)};
}

// Reading or deleting never creates a store: where the store file does not exist (a mistyped
// VELTRANO_REGISTRY, a user who never ran a program) there is nothing to find.
void requireStore() {
  const std::string path = reg::storePath();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw Failure{std::string(kNotFound) + "\nThe registry store " + path + " does not exist."};
}

// ---- command line ----------------------------------------------------------------------

struct KnownOption {
  const char* name;  // lower case, without the leading "/" or "-"
  bool takesValue;
};

struct CommandLine {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  bool help = false;

  bool has(const std::string& name) const { return options.count(name) != 0; }
  std::optional<std::string> value(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() ? std::nullopt : std::optional(it->second);
  }
};

// Options start with "/" or "-" and are matched without regard to case. Where the verb takes
// a file name, an argument that is no option of the verb is the file name ("/tmp/x.reg").
CommandLine parseCommandLine(const std::vector<std::string>& args, std::initializer_list<KnownOption> knownOptions,
                             bool unknownIsPositional) {
  CommandLine cl;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 1 && (a[0] == '/' || a[0] == '-')) {
      const std::string name = text::LCase(std::string_view(a).substr(1));
      if (name == "?" || name == "h" || name == "-help") {
        cl.help = true;
        continue;
      }
      const KnownOption* known = nullptr;
      for (const auto& s : knownOptions)
        if (name == s.name) known = &s;
      if (known) {
        if (cl.has(name)) invalidSyntax();
        if (known->takesValue) {
          if (i + 1 >= args.size()) invalidSyntax();
          cl.options[name] = args[++i];
        } else {
          cl.options[name] = "";
        }
        continue;
      }
      if (!unknownIsPositional) invalidSyntax();
    }
    cl.positional.push_back(a);
  }
  return cl;
}

struct KeyName {
  reg::HKEY root = 0;
  std::string sub;      // below the root, "" for the root itself
  std::string display;  // as reg prints it: the long root name and the path as typed
};

KeyName parseKey(const std::string& textKey) {
  const std::size_t sep = textKey.find('\\');
  const auto root = reg::rootByName(std::string_view(textKey).substr(0, sep));
  if (!root) throw Failure{"Invalid key name.", true};
  KeyName k;
  k.root = *root;
  if (sep != std::string::npos) {
    for (const auto& part : text::Split(std::string_view(textKey).substr(sep + 1), "\\")) {
      if (part.empty()) continue;
      if (!k.sub.empty()) k.sub += '\\';
      k.sub += part;
    }
  }
  k.display = reg::rootLongName(k.root) + (k.sub.empty() ? "" : "\\" + k.sub);
  return k;
}

std::string childOf(const std::string& sub, const std::string& name) { return sub.empty() ? name : sub + "\\" + name; }

// ---- the store -------------------------------------------------------------------------

class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (h_) reg::RegCloseKey(h_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  reg::HKEY* out() { return &h_; }
  reg::HKEY get() const { return h_; }

 private:
  reg::HKEY h_ = 0;
};

long openKey(const KeyName& k, OpenKey& key) { return reg::RegOpenKeyExA(k.root, k.sub, 0, reg::KEY_READ, key.out()); }

std::optional<reg::ValueEntry> findValue(reg::HKEY key, const std::string& name) {
  std::uint32_t type = 0, size = 0;
  long rc = reg::RegQueryValueExA(key, name, &type, nullptr, &size);
  if (rc == reg::ERROR_FILE_NOT_FOUND) return std::nullopt;
  check(rc);
  reg::ValueEntry v{name, type, Bytes(size)};
  rc = reg::RegQueryValueExA(key, name, &type, v.data.data(), &size);
  if (rc == reg::ERROR_FILE_NOT_FOUND) return std::nullopt;
  check(rc);
  v.type = type;
  v.data.resize(size);
  return v;
}

std::vector<reg::ValueEntry> valuesOf(reg::HKEY key) {
  std::vector<reg::ValueEntry> values;
  check(reg::RegEnumValues(key, &values));
  return values;
}

std::vector<std::string> subKeysOf(reg::HKEY key) {
  std::vector<std::string> names;
  check(reg::RegEnumKeys(key, &names));
  return names;
}

// Visits a key and every key below it, parents first, sub-keys in name order. A sub-key that
// another process removes meanwhile is skipped.
void walk(const KeyName& top, const std::function<void(const KeyName&, reg::HKEY)>& visit) {
  OpenKey key;
  check(openKey(top, key));
  visit(top, key.get());
  std::function<void(const KeyName&, reg::HKEY)> descend = [&](const KeyName& k, reg::HKEY h) {
    for (const auto& name : subKeysOf(h)) {
      KeyName child{k.root, childOf(k.sub, name), k.display + "\\" + name};
      OpenKey ck;
      const long rc = openKey(child, ck);
      if (rc == reg::ERROR_FILE_NOT_FOUND) continue;
      check(rc);
      visit(child, ck.get());
      descend(child, ck.get());
    }
  };
  descend(top, key.get());
}

// ---- questions -------------------------------------------------------------------------

// Asks until the answer is yes or no; the end of the input (or a run of answers that are
// neither) counts as No.
bool confirm(Console& io, const std::string& question) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    io.out << question << std::flush;
    std::string line;
    if (!std::getline(io.in, line)) {
      io.out << "\n";
      return false;
    }
    const std::string answer = text::LCase(text::Trim(line));
    if (answer == "y" || answer == "yes") return true;
    if (answer == "n" || answer == "no") return false;
  }
  return false;
}

std::string shownName(const std::string& name) { return name.empty() ? "(Default)" : name; }

void printValue(std::ostream& out, const reg::ValueEntry& v, std::string_view separator) {
  out << "    " << shownName(v.name) << "    " << typeName(v.type) << "    "
         << displayData(v.type, v.data, separator) << "\n";
}

// ---- the verbs -------------------------------------------------------------------------

constexpr KnownOption kView32{"reg:32", false}, kView64{"reg:64", false};

// The value the command names: /v NAME or /ve (the default value).
std::optional<std::string> valueOption(const CommandLine& cl) {
  if (cl.has("v") && cl.has("ve")) invalidSyntax();
  if (cl.has("ve")) return std::string();
  return cl.value("v");
}

int query(const std::vector<std::string>& args, Console& io) {
  const CommandLine cl = parseCommandLine(args, {{"v", true}, {"ve", false}, {"s", false}, {"se", true}, kView32, kView64},
                                          false);
  if (cl.help) return -1;
  if (cl.positional.size() != 1) invalidSyntax();
  const KeyName key = parseKey(cl.positional[0]);
  const auto valueName = valueOption(cl);
  requireStore();
  const bool recurse = cl.has("s");
  const std::string separator = cl.value("se").value_or("\\0");
  if (cl.has("se") && separator.empty()) invalidSyntax();

  OpenKey top;
  check(openKey(key, top));

  // Everything is gathered before anything is printed, so that a failure prints only the error.
  std::ostringstream out;
  out << "\n";
  int exitCode = 0;
  if (valueName && !recurse) {
    const auto v = findValue(top.get(), *valueName);
    if (!v && !valueName->empty()) throw Failure{kNotFound};
    out << key.display << "\n";
    if (v)
      printValue(out, *v, separator);
    else
      out << "    (Default)    REG_SZ    (value not set)\n";
    out << "\n";
  } else if (valueName) {
    int matches = 0;
    walk(key, [&](const KeyName& k, reg::HKEY h) {
      if (auto v = findValue(h, *valueName)) {
        out << k.display << "\n";
        printValue(out, *v, separator);
        out << "\n";
        ++matches;
      }
    });
    out << "End of search: " << matches << " match(es) found.\n";
    exitCode = matches ? 0 : 1;
  } else if (!recurse) {
    out << key.display << "\n";
    const auto values = valuesOf(top.get());
    for (const auto& v : values) printValue(out, v, separator);
    if (!values.empty()) out << "\n";
    const auto names = subKeysOf(top.get());
    for (const auto& n : names) out << key.display << "\\" << n << "\n";
    if (!names.empty()) out << "\n";
  } else {
    walk(key, [&](const KeyName& k, reg::HKEY h) {
      out << k.display << "\n";
      for (const auto& v : valuesOf(h)) printValue(out, v, separator);
      out << "\n";
    });
  }
  io.out << out.str();
  return exitCode;
}

int add(const std::vector<std::string>& args, Console& io) {
  const CommandLine cl = parseCommandLine(
      args, {{"v", true}, {"ve", false}, {"t", true}, {"s", true}, {"d", true}, {"f", false}, kView32, kView64}, false);
  if (cl.help) return -1;
  if (cl.positional.size() != 1) invalidSyntax();
  const KeyName key = parseKey(cl.positional[0]);
  const auto named = valueOption(cl);
  const bool setsValue = named || cl.has("t") || cl.has("d");

  std::uint32_t type = reg::REG_SZ;
  if (auto t = cl.value("t")) {
    const auto known = typeByName(*t);
    if (!known || *known == reg::REG_LINK || (*known >= 8 && *known <= 10))
      invalidSyntax("Unknown data type '" + *t + "' for '/t'.");
    type = *known;
  }
  std::string separator = "\\0";
  if (auto s = cl.value("s")) {
    if (type != reg::REG_MULTI_SZ || text::Len(*s) != 1) invalidSyntax("'/s' takes one character and REG_MULTI_SZ data.");
    separator = *s;
  }
  const DataParse data = parseData(type, cl.value("d").value_or(""), separator);
  if (!data.ok) invalidSyntax(data.error);

  if (!setsValue) {
    OpenKey created;
    check(reg::RegCreateKeyA(key.root, key.sub, created.out()));
    io.out << kSuccess << "\n";
    return 0;
  }
  const std::string name = named.value_or("");
  if (!cl.has("f")) {
    OpenKey existing;
    const long rc = openKey(key, existing);
    if (rc != reg::ERROR_FILE_NOT_FOUND) check(rc);
    if (rc == reg::ERROR_SUCCESS && findValue(existing.get(), name) &&
        !confirm(io, "Value " + shownName(name) + " exists, overwrite(Yes/No)? ")) {
      io.out << kCancelled << "\n";
      return 1;
    }
  }
  OpenKey created;
  check(reg::RegCreateKeyA(key.root, key.sub, created.out()));
  check(reg::RegSetValueExA(created.get(), name, type, data.data.data(), static_cast<std::uint32_t>(data.data.size())));
  check(reg::RegFlushKey(created.get()));
  io.out << kSuccess << "\n";
  return 0;
}

// Deletes a key with everything below it, deepest first.
void deleteTree(reg::HKEY root, const std::string& sub) {
  {
    OpenKey key;
    const long rc = reg::RegOpenKeyExA(root, sub, 0, reg::KEY_ALL_ACCESS, key.out());
    if (rc == reg::ERROR_FILE_NOT_FOUND) return;
    check(rc);
    for (const auto& name : subKeysOf(key.get())) deleteTree(root, childOf(sub, name));
  }
  const long rc = reg::RegDeleteKeyA(root, sub);
  if (rc != reg::ERROR_FILE_NOT_FOUND) check(rc);
}

int remove(const std::vector<std::string>& args, Console& io) {
  const CommandLine cl =
      parseCommandLine(args, {{"v", true}, {"ve", false}, {"va", false}, {"f", false}, kView32, kView64}, false);
  if (cl.help) return -1;
  if (cl.positional.size() != 1) invalidSyntax();
  const KeyName key = parseKey(cl.positional[0]);
  const auto named = valueOption(cl);
  if (named && cl.has("va")) invalidSyntax();
  const bool force = cl.has("f");
  requireStore();

  OpenKey target;
  check(openKey(key, target));
  if (named) {
    if (!findValue(target.get(), *named)) throw Failure{kNotFound};
    if (!force && !confirm(io, "Delete the registry value " + shownName(*named) + " (Yes/No)? ")) {
      io.out << kCancelled << "\n";
      return 1;
    }
    const long rc = reg::RegDeleteValueA(target.get(), *named);
    if (rc != reg::ERROR_FILE_NOT_FOUND) check(rc);
  } else if (cl.has("va")) {
    if (!force && !confirm(io, "Delete all values under the registry key " + key.display + " (Yes/No)? ")) {
      io.out << kCancelled << "\n";
      return 1;
    }
    for (const auto& v : valuesOf(target.get())) {
      const long rc = reg::RegDeleteValueA(target.get(), v.name);
      if (rc != reg::ERROR_FILE_NOT_FOUND) check(rc);
    }
  } else {
    if (key.sub.empty()) throw Failure{"Invalid key name.", true};
    if (!force && !confirm(io, "Permanently delete the registry key " + key.display + " (Yes/No)? ")) {
      io.out << kCancelled << "\n";
      return 1;
    }
    deleteTree(key.root, key.sub);
  }
  io.out << kSuccess << "\n";
  return 0;
}

// Writes the file beside its final name first, so that a failed write leaves any old file whole.
bool writeWhole(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path temp = path.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) {
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

int exportKey(const std::vector<std::string>& args, Console& io) {
  const CommandLine cl = parseCommandLine(args, {{"y", false}, kView32, kView64}, true);
  if (cl.help) return -1;
  if (cl.positional.size() != 2) invalidSyntax();
  const KeyName key = parseKey(cl.positional[0]);
  const std::filesystem::path file = cl.positional[1];
  requireStore();

  std::vector<ExportKey> keys;
  walk(key, [&](const KeyName& k, reg::HKEY h) { keys.push_back({k.display, valuesOf(h)}); });

  std::error_code ec;
  if (std::filesystem::exists(file, ec) && !cl.has("y") &&
      !confirm(io, "File " + file.string() + " already exists. Overwrite (Yes/No)? ")) {
    io.out << kCancelled << "\n";
    return 1;
  }
  if (!writeWhole(file, regFileBytes(regScriptText(keys)))) throw Failure{kFileError};
  io.out << kSuccess << "\n";
  return 0;
}

int importFile(const std::vector<std::string>& args, Console& io) {
  const CommandLine cl = parseCommandLine(args, {kView32, kView64}, true);
  if (cl.help) return -1;
  if (cl.positional.size() != 1) invalidSyntax();
  const std::string& file = cl.positional[0];

  std::ifstream in(file, std::ios::binary);
  std::error_code ec;
  if (!in || std::filesystem::is_directory(file, ec)) throw Failure{kFileError};
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw Failure{kFileError};

  // The whole script is read before anything is applied: a faulty script changes nothing.
  const ScriptParse script = parseRegScript(content.str());
  if (!script.ok)
    throw Failure{"Unable to import " + file + ": " +
                  (script.line ? "line " + std::to_string(script.line) + ": " : std::string()) + script.description +
                  "."};
  for (const auto& section : script.keys) {
    if (section.remove) {
      deleteTree(section.root, section.path);
      continue;
    }
    OpenKey key;
    check(reg::RegCreateKeyA(section.root, section.path, key.out()));
    for (const auto& v : section.values) {
      long rc;
      if (v.remove) {
        rc = reg::RegDeleteValueA(key.get(), v.name);
        if (rc == reg::ERROR_FILE_NOT_FOUND) rc = reg::ERROR_SUCCESS;
      } else {
        rc = reg::RegSetValueExA(key.get(), v.name, v.type, v.data.data(), static_cast<std::uint32_t>(v.data.size()));
      }
      check(rc);
    }
    check(reg::RegFlushKey(key.get()));
  }
  io.out << kSuccess << "\n";
  return 0;
}

// ---- usage -----------------------------------------------------------------------------

void usage(Console& io, const std::string& verb) {
  static const std::map<std::string, const char*> kUsage = {
      {"", "REG Operation [Parameter List]\n\n"
           "  Operation  [ QUERY | ADD | DELETE | EXPORT | IMPORT ]\n\n"
           "Return Code: (Except for REG COMPARE)\n\n"
           "  0 - Successful\n  1 - Failed\n\n"
           "For help on a specific operation type:\n\n  REG Operation /?\n\n"
           "The store is the file named by VELTRANO_REGISTRY.\n"},
      {"QUERY", "REG QUERY KeyName [/v [ValueName] | /ve] [/s] [/se Separator]\n\n"
                "  KeyName    ROOTKEY\\SubKey   (ROOTKEY: HKLM | HKCU | HKCR | HKU, or the long names)\n"
                "  /v         Queries for a specific registry key value.\n"
                "  /ve        Queries for the default value or empty value name (Default).\n"
                "  /s         Queries all subkeys and values recursively (like dir /s).\n"
                "  /se        Specifies the separator shown between the strings of a REG_MULTI_SZ (default \"\\0\").\n"},
      {"ADD", "REG ADD KeyName [/v ValueName | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n\n"
              "  /v         The value name, under the selected Key, to add.\n"
              "  /ve        Adds an empty value name (Default) for the key.\n"
              "  /t         RegKey data types\n"
              "             [ REG_SZ    | REG_MULTI_SZ | REG_EXPAND_SZ |\n"
              "               REG_DWORD | REG_QWORD    | REG_BINARY    | REG_NONE ]\n"
              "             If omitted, REG_SZ is assumed.\n"
              "  /s         Specify one character that you use as the separator in your data\n"
              "             string for REG_MULTI_SZ. If omitted, use \"\\0\" as the separator.\n"
              "  /d         The data to assign to the registry ValueName being added.\n"
              "  /f         Force overwriting the existing registry entry without prompt.\n"},
      {"DELETE", "REG DELETE KeyName [/v ValueName | /ve | /va] [/f]\n\n"
                 "  /v         The value name, under the selected Key, to delete.\n"
                 "             When omitted, all subkeys and values under the Key are deleted.\n"
                 "  /ve        Delete the value of empty value name (Default).\n"
                 "  /va        Delete all values under this key.\n"
                 "  /f         Forces the deletion without prompt.\n"},
      {"EXPORT", "REG EXPORT KeyName FileName [/y]\n\n"
                 "  FileName   The name of the disk file to export.\n"
                 "  /y         Force overwriting the existing file without prompt.\n"},
      {"IMPORT", "REG IMPORT FileName\n\n"
                 "  FileName   The name of the disk file to import (a .reg file).\n"},
  };
  auto it = kUsage.find(verb);
  io.out << "\n" << (it == kUsage.end() ? kUsage.at("") : it->second) << "\n";
}

}  // namespace

int runCommand(const std::vector<std::string>& args, Console& io) {
  std::string verb = args.empty() ? std::string() : text::UCase(args[0]);
  if (verb == "/?" || verb == "-?" || verb == "-H" || verb == "--HELP") {
    usage(io, "");
    return 0;
  }
  static const std::map<std::string, int (*)(const std::vector<std::string>&, Console&)> kVerbs = {
      {"QUERY", query}, {"ADD", add}, {"DELETE", remove}, {"EXPORT", exportKey}, {"IMPORT", importFile}};
  const auto it = kVerbs.find(verb);
  try {
    if (it == kVerbs.end()) {
      verb.clear();
      invalidSyntax();
    }
    const int rc = it->second(args, io);
    if (rc >= 0) return rc;
    usage(io, verb);
    return 0;
  } catch (const Failure& f) {
    io.err << "ERROR: " << f.message << "\n";
    if (f.usageHint) io.err << "Type \"REG " << (verb.empty() ? "" : verb + " ") << "/?\" for usage.\n";
    return 1;
  }
}

}  // namespace veltrano::regtool
