// What every backend of the process module shares: command-line splitting and the test hooks.
#include <set>

#include "platform/process/process.h"
#include "platform/process/process_faults.h"

namespace veltrano::proc {
namespace {
std::set<int> g_denied;
int g_failStarts = 0;
}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> out;
  std::string cur;
  bool inQuotes = false, any = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      any = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur.push_back(c);
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

bool terminationDenied(int pid) { return g_denied.count(pid) != 0; }

bool takeFailedStart() {
  if (g_failStarts <= 0) return false;
  --g_failStarts;
  return true;
}

void denyTermination(int pid) { g_denied.insert(pid); }
void clearFaults() {
  g_denied.clear();
  g_failStarts = 0;
}
void failNextStarts(int count) { g_failStarts = count; }

}  // namespace veltrano::proc
