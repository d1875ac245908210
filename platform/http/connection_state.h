#pragma once
// The PC's internet connection state (wininet's InternetGetConnectedState).
//
// The flags word carries INTERNET_CONNECTION_LAN (2) when a network interface other than
// loopback is up and has an IPv4 or IPv6 address, and INTERNET_CONNECTION_PROXY (4) when the
// environment names a proxy (http_proxy or HTTP_PROXY). The modem bit (1) is never set: a dial-up
// line appears here as an interface like any other. The result is true when the LAN bit is set.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace veltrano::http {

inline constexpr std::uint32_t INTERNET_CONNECTION_MODEM = 1;
inline constexpr std::uint32_t INTERNET_CONNECTION_LAN = 2;
inline constexpr std::uint32_t INTERNET_CONNECTION_PROXY = 4;

bool InternetGetConnectedState(std::uint32_t& flags, std::uint32_t reserved = 0);

// One network interface as the connection check sees it.
struct NetworkInterface {
  std::string name;
  bool up = false;
  bool loopback = false;
  bool hasAddress = false;  // an IPv4 or IPv6 address is assigned
};

// The interfaces of this machine, one entry per interface (getifaddrs on Linux,
// GetAdaptersAddresses on Windows).
std::vector<NetworkInterface> systemInterfaces();

// Replaces the interface list the check uses while the object lives (tests).
class ScopedInterfaceList {
 public:
  explicit ScopedInterfaceList(std::vector<NetworkInterface> interfaces);
  ~ScopedInterfaceList();
  ScopedInterfaceList(const ScopedInterfaceList&) = delete;
  ScopedInterfaceList& operator=(const ScopedInterfaceList&) = delete;

 private:
  std::function<std::vector<NetworkInterface>()> previous_;
};

}  // namespace veltrano::http
