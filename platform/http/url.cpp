#include "platform/http/url.h"

#include "platform/text/vbstring.h"

namespace veltrano::http {

std::string withScheme(std::string_view hostAndPath) {
  for (std::string_view scheme : {"https://", "http://"}) {
    if (hostAndPath.size() >= scheme.size() && text::LCase(hostAndPath.substr(0, scheme.size())) == scheme)
      return std::string(scheme) + std::string(hostAndPath.substr(scheme.size()));
  }
  return "http://" + std::string(hostAndPath);
}

std::string encodedForTransport(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace veltrano::http
