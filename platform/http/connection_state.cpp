#include "platform/http/connection_state.h"

#include <cstdlib>

namespace veltrano::http {
namespace {

std::function<std::vector<NetworkInterface>()>& interfaceSource() {
  static std::function<std::vector<NetworkInterface>()> source = systemInterfaces;
  return source;
}

bool environmentNamesProxy() {
  for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

bool InternetGetConnectedState(std::uint32_t& flags, std::uint32_t /*reserved*/) {
  flags = 0;
  for (const auto& nic : interfaceSource()()) {
    if (nic.up && !nic.loopback && nic.hasAddress) flags |= INTERNET_CONNECTION_LAN;
  }
  if (environmentNamesProxy()) flags |= INTERNET_CONNECTION_PROXY;
  return (flags & INTERNET_CONNECTION_LAN) != 0;
}

ScopedInterfaceList::ScopedInterfaceList(std::vector<NetworkInterface> interfaces)
    : previous_(interfaceSource()) {
  interfaceSource() = [list = std::move(interfaces)] { return list; };
}

ScopedInterfaceList::~ScopedInterfaceList() { interfaceSource() = previous_; }

}  // namespace veltrano::http
