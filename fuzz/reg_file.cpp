// .reg scripts, as `reg import` reads them from anywhere: any bytes give the sections or the
// line at fault, never a crash. And what a script sets survives an export: the values read
// are written as `reg export` writes them, read again, and must be the same bytes and types.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "tools/reg/reg_file.h"

namespace {

using namespace veltrano;

struct Setting {
  reg::HKEY root;
  std::string path;
  reg::ValueEntry value;
};

// The values a script sets, in order, as the store would hold them.
std::vector<Setting> settingsOf(const regtool::ScriptParse& p) {
  std::vector<Setting> out;
  for (const auto& key : p.keys) {
    if (key.remove) continue;
    for (const auto& v : key.values)
      if (!v.remove) out.push_back({key.root, key.path, {v.name, v.type, v.data}});
  }
  return out;
}

std::string describe(const std::vector<Setting>& s) {
  std::string d;
  for (const auto& e : s) {
    d += reg::rootShortName(e.root) + "\\" + e.path + " [" + e.value.name + "] " + std::to_string(e.value.type) + ":";
    for (std::uint8_t b : e.value.data) d += " " + std::to_string(b);
    d += "\n";
  }
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const regtool::ScriptParse parsed = regtool::parseRegScript(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.ok) return 0;
  const std::vector<Setting> settings = settingsOf(parsed);
  std::vector<regtool::ExportKey> keys;
  for (const auto& s : settings) {
    const std::string full = reg::rootLongName(s.root) + (s.path.empty() ? "" : "\\" + s.path);
    keys.push_back({full, {s.value}});
  }
  const std::string script = regtool::regScriptText(keys);
  const regtool::ScriptParse again = regtool::parseRegScript(regtool::regFileBytes(script));
  fuzz::require(again.ok, "an exported script reads", again.description + " at line " + std::to_string(again.line) + "\n" + script);
  const std::vector<Setting> back = settingsOf(again);
  bool same = back.size() == settings.size();
  for (std::size_t i = 0; same && i < back.size(); ++i)
    same = back[i].root == settings[i].root && back[i].path == settings[i].path &&
           back[i].value.name == settings[i].value.name && back[i].value.type == settings[i].value.type &&
           back[i].value.data == settings[i].value.data;
  fuzz::require(same, "export then import gives every byte back", describe(settings) + "--\n" + describe(back) + script);
  return 0;
}
