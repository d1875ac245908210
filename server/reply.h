#pragma once
// A reply of the query and data services, before it meets the HTTP library.

#include <string>
#include <string_view>

namespace veltrano::server {

struct Reply {
  int status = 200;
  std::string contentType;
  std::string body;  // bytes as sent
};

// The error text both services send: "[에러번호] " + number + " : " + message. The data
// library recognises a server error by its first six characters.
std::string errorText(int number, std::string_view message);

}  // namespace veltrano::server
