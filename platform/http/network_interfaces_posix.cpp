// The interface list of a Linux machine, from getifaddrs.

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <map>

#include "platform/http/connection_state.h"

namespace veltrano::http {

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

}  // namespace veltrano::http
