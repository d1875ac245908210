// The interface list of a Windows machine, from GetAdaptersAddresses.

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "platform/http/connection_state.h"
#include "platform/text/wide.h"

namespace veltrano::http {

std::vector<NetworkInterface> systemInterfaces() {
  std::vector<NetworkInterface> out;
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  // The list grows between the size query and the read when an adapter comes up: a few tries.
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    NetworkInterface nic;
    nic.name = a->FriendlyName ? text::narrow(a->FriendlyName) : std::string(a->AdapterName);
    nic.up = a->OperStatus == IfOperStatusUp;
    nic.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    nic.hasAddress = a->FirstUnicastAddress != nullptr;
    out.push_back(std::move(nic));
  }
  return out;
}

}  // namespace veltrano::http
