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

}  // namespace veltrano::server
