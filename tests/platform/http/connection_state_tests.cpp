// The connection check on injected interface lists.

#include "platform/http/connection_state.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace veltrano::http {
namespace {

const NetworkInterface kLoopback{"lo", true, true, true};
const NetworkInterface kEthUp{"eth0", true, false, true};
const NetworkInterface kEthDown{"eth1", false, false, true};
const NetworkInterface kEthNoAddress{"eth2", true, false, false};

struct Case {
  std::vector<NetworkInterface> interfaces;
  std::string proxy;
  std::uint32_t flags;
  bool connected;
};

TEST(ConnectionState, FlagsFromInterfacesAndProxyEnvironment) {
  const std::vector<Case> cases = {
      {{}, "", 0, false},
      {{kLoopback}, "", 0, false},
      {{kLoopback, kEthDown, kEthNoAddress}, "", 0, false},
      {{kLoopback, kEthUp}, "", INTERNET_CONNECTION_LAN, true},
      {{kLoopback, kEthUp}, "http://proxy:3128", INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY, true},
      {{kLoopback}, "http://proxy:3128", INTERNET_CONNECTION_PROXY, false},
  };
  for (const auto& c : cases) {
    ScopedInterfaceList list(c.interfaces);
    // Upper case first: on Windows the two names are one variable.
    test::ScopedEnv upper("HTTP_PROXY", "");
    test::ScopedEnv lower("http_proxy", c.proxy);
    std::uint32_t flags = 99;
    EXPECT_EQ(InternetGetConnectedState(flags, 0), c.connected);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(flags & INTERNET_CONNECTION_MODEM, 0u);
  }
}

TEST(ConnectionState, UpperCaseProxyVariableCountsToo) {
  ScopedInterfaceList list({kEthUp});
  test::ScopedEnv lower("http_proxy", "");
  test::ScopedEnv upper("HTTP_PROXY", "http://proxy:8080");
  std::uint32_t flags = 0;
  EXPECT_TRUE(InternetGetConnectedState(flags));
  EXPECT_EQ(flags, INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY);
}

TEST(ConnectionState, SystemListAlwaysHasLoopback) {
  bool loopback = false;
  for (const auto& nic : systemInterfaces()) loopback = loopback || nic.loopback;
  EXPECT_TRUE(loopback);
}

}  // namespace
}  // namespace veltrano::http
