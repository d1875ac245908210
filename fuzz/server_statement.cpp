// Statement text for the MariaDB catalogue: any bytes give one statement or a StatementError,
// never a crash; the text sent is no longer than what was given, every "?" of it has a
// parameter, and reading the text sent again gives the same text, placeholders and effect.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "server/database.h"
#include "server/mariadb_statement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  server::MariadbStatement s;
  try {
    s = server::readMariadbStatement(sql);
  } catch (const server::StatementError&) {
    return 0;
  }
  fuzz::require(s.text.size() <= size, "the statement sent is no longer than the text given");
  for (const std::size_t p : s.placeholders)
    fuzz::require(p < s.parameters.size(), "every placeholder has a parameter");
  server::MariadbStatement again;
  try {
    again = server::readMariadbStatement(s.text);
  } catch (const server::StatementError&) {
    fuzz::require(false, "the statement sent reads again");
  }
  fuzz::require(again.text == s.text, "reading the statement sent again changes nothing");
  fuzz::require(again.placeholders.size() == s.placeholders.size(), "as many placeholders");
  fuzz::require(again.effect == s.effect, "the same effect");
  return 0;
}
