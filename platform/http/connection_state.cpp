#include "platform/http/connection_state.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstdlib>
#include <map>

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

std::vector<NetworkInterface> systemInterfaces() {
  std::vector<NetworkInterface> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  std::map<std::string, std::size_t> index;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    auto [it, added] = index.try_emplace(a->ifa_name, out.size());
    if (added) {
      NetworkInterface nic;
      nic.name = a->ifa_name;
      nic.up = (a->ifa_flags & IFF_UP) != 0;
      nic.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
      out.push_back(nic);
    }
    if (a->ifa_addr && (a->ifa_addr->sa_family == AF_INET || a->ifa_addr->sa_family == AF_INET6))
      out[it->second].hasAddress = true;
  }
  freeifaddrs(list);
  return out;
}

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
