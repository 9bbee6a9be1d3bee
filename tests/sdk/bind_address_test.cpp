// The endpoints a service may be told to listen on, as people and attackers spell them: what
// binds, whether it needs keys, and what is refused (with one line saying why).
#include <gtest/gtest.h>

#include <stdexcept>

#include "server/BindAddress.h"

namespace CamSdk {
namespace {

// Names as a machine might resolve them, without asking the network.
std::vector<std::string> fakeResolver(const std::string& name) {
  if (name == "localhost") return {"127.0.0.1", "::1"};
  if (name == "camera-host") return {"192.0.2.10"};
  if (name == "split-host") return {"127.0.0.1", "192.0.2.11"};
  if (name == "debian-host") return {"127.0.1.1"};
  if (name == "v6-only") return {"::1"};
  return {};
}

TEST(BindAddress, WhatBindsAndWhetherItNeedsKeys) {
  struct Case {
    const char* text;
    const char* binds;
    bool local;
  };
  const Case cases[] = {
      {"ipc:///run/user/1000/camsdk-service.sock", "ipc:///run/user/1000/camsdk-service.sock", true},
      {"inproc://tests", "inproc://tests", true},
      {"tcp://127.0.0.1:7531", "tcp://127.0.0.1:7531", true},
      {"tcp://127.0.0.1:*", "tcp://127.0.0.1:*", true},
      {"tcp://127.0.0.1:07531", "tcp://127.0.0.1:7531", true},
      {"tcp://[::1]:7531", "tcp://[::1]:7531", true},
      {"tcp://[::ffff:127.0.0.1]:7531", "tcp://[::ffff:127.0.0.1]:7531", true},
      {"tcp://localhost:7531", "tcp://127.0.0.1:7531", true},
      {"tcp://v6-only:7531", "tcp://[::1]:7531", true},
      // Beyond this machine, or not only on it: keys needed.
      {"tcp://127.0.0.2:7531", "tcp://127.0.0.2:7531", false},
      {"tcp://debian-host:7531", "tcp://127.0.1.1:7531", false},
      {"tcp://camera-host:7531", "tcp://192.0.2.10:7531", false},
      {"tcp://split-host:7531", "tcp://127.0.0.1:7531", false},
      {"tcp://*:7531", "tcp://*:7531", false},
      {"tcp://0.0.0.0:7531", "tcp://0.0.0.0:7531", false},
      {"tcp://[::]:7531", "tcp://[::]:7531", false},
      {"tcp://192.0.2.10:7531", "tcp://192.0.2.10:7531", false},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.text);
    const server::BindAddress bound = server::parseBindAddress(each.text, fakeResolver);
    EXPECT_EQ(bound.endpoint, each.binds);
    EXPECT_EQ(bound.local, each.local);
    EXPECT_EQ(bound.ipv6, bound.endpoint.find('[') != std::string::npos);
  }
}

TEST(BindAddress, AnythingElseIsRefusedWithOneLine) {
  struct Case {
    std::string text;
    const char* because;
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:7531;0.0.0.0:7532", "one endpoint per option"},
      {"tcp://127.0.0.1:7531,tcp://0.0.0.0:7532", "one endpoint per option"},
      {"tcp://0.0.0.0:7532;127.0.0.1:7531", "one endpoint per option"},
      {"tcp://127.0.0.1:7531 ", "spaces"},
      {"tcp://127.0.0.1:7531\n", "control characters"},
      {"tcp://127.0.0.1:0", "1 to 65535"},
      {"tcp://127.0.0.1:65536", "1 to 65535"},
      {"tcp://127.0.0.1:-1", "1 to 65535"},
      {"tcp://127.0.0.1:", "1 to 65535"},
      {"tcp://127.0.0.1:75x1", "1 to 65535"},
      {"tcp://127.0.0.1", "HOST:PORT"},
      {"tcp://::1:7531", "in brackets"},
      {"tcp://[127.0.0.1]:7531", "not an IPv6 address"},
      {"tcp://[::1:7531", "in brackets"},
      {"tcp://eth0:7531", "does not resolve"},
      {"tcp://lo:7531", "does not resolve"},
      {"tcp://no-such-host.invalid:7531", "does not resolve"},
      {"tcp://local_host:7531", "neither an address nor a host name"},
      {"tcp://:7531", "neither an address nor a host name"},
      {"ipc://camsdk.sock", "absolute"},
      {"ipc://", "absolute"},
      {"ipc:///" + std::string(120, 'x'), "at most 107 bytes"},
      {"inproc://", "needs a name"},
      {"pgm://eth0;239.192.1.1:5555", "one endpoint per option"},
      {"udp://127.0.0.1:7531", "ipc, tcp or inproc"},
      {"ws://127.0.0.1:7531", "ipc, tcp or inproc"},
      {"TCP://127.0.0.1:7531", "ipc, tcp or inproc"},
      {"127.0.0.1:7531", "not TRANSPORT://ADDRESS"},
      {"", "not TRANSPORT://ADDRESS"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.text);
    try {
      server::parseBindAddress(each.text, fakeResolver);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& error) {
      const std::string line = error.what();
      EXPECT_NE(line.find(each.because), std::string::npos) << line;
      EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
  }
}

// The machine's own resolver: localhost stays on the machine.
TEST(BindAddress, LocalhostResolvesToLoopback) {
  const server::BindAddress bound = server::parseBindAddress("tcp://localhost:*");
  EXPECT_TRUE(bound.local);
  EXPECT_EQ(bound.endpoint.rfind("tcp://", 0), 0u);
}

}  // namespace
}  // namespace CamSdk
