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

}  // namespace veltrano::http
