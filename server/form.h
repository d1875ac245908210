#pragma once
// Form bodies (application/x-www-form-urlencoded).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano::server {

// The name=value pairs of a form body in order, "+" and %XX decoded. Nothing when an escape
// is malformed.
std::optional<std::vector<std::pair<std::string, std::string>>> parseForm(std::string_view body);

// %XX escapes decoded (and "+" as a blank when `plusIsBlank`, as in form bodies); false when an
// escape is malformed.
bool percentDecode(std::string_view in, std::string& out, bool plusIsBlank);

}  // namespace veltrano::server
