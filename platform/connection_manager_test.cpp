#include "platform/connection_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/test_environment.h"

namespace platform {
namespace {

using testing_support::ScopedTestHome;
using testing_support::WriteFileBytes;
using ::testing::ElementsAre;

constexpr char kRouteHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
// A default route through eth0, as a desktop with a network has it.
constexpr char kDefaultV4[] = "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
constexpr char kLanV4[] = "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
// The reject routes every Linux lists through lo.
constexpr char kLoopbackV6[] =
    "00000000000000000000000000000001 80 00000000000000000000000000000000 00 00000000000000000000000000000000 "
    "00000000 00000002 00000000 80200001       lo\n"
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 00000000000000000000000000000000 "
    "ffffffff 00000001 00000000 00200200       lo\n";
constexpr char kDefaultV6[] =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 fe800000000000000000000000000001 "
    "00000400 00000001 00000000 00450003     eth0\n";

class ConnectionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sources_.proc_root = home_.root() / "proc";
    sources_.sys_root = home_.root() / "sys";
    sources_.nmcli = "";
    std::filesystem::create_directories(sources_.proc_root / "net");
    std::filesystem::create_directories(sources_.sys_root / "class/net");
    Routes("", kLoopbackV6);
    Interface("lo", 772, "0x9", "unknown");
    Interface("eth0", 1, "0x1003", "up");
  }

  void Routes(const std::string& v4, const std::string& v6) {
    WriteFileBytes(sources_.proc_root / "net/route", kRouteHeader + v4);
    WriteFileBytes(sources_.proc_root / "net/ipv6_route", v6);
  }
  void Interface(const std::string& name, int type, const std::string& flags, const std::string& operstate,
                 bool tun = false) {
    auto dir = sources_.sys_root / "class/net" / name;
    std::filesystem::create_directories(dir);
    WriteFileBytes(dir / "type", std::to_string(type) + "\n");
    WriteFileBytes(dir / "flags", flags + "\n");
    WriteFileBytes(dir / "operstate", operstate + "\n");
    if (tun) WriteFileBytes(dir / "tun_flags", "0x1001\n");
  }
  // A NetworkManager client that prints `state` and exits with `status`.
  void NetworkManagerSays(const std::string& state, int status = 0) {
    auto script = home_.root() / "fake-nmcli";
    WriteFileBytes(script, "#!/bin/sh\n[ \"$*\" = \"-t -f STATE general\" ] || exit 2\necho '" + state + "'\nexit " +
                               std::to_string(status) + "\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    sources_.nmcli = script.string();
  }

  ScopedTestHome home_;
  NetworkStateSources sources_;
};

TEST_F(ConnectionManagerTest, DefaultRouteIsFoundInEitherTable) {
  EXPECT_FALSE(HasDefaultRoute(sources_));
  Routes(kLanV4, kLoopbackV6);
  EXPECT_FALSE(HasDefaultRoute(sources_));
  Routes(std::string(kLanV4) + kDefaultV4, kLoopbackV6);
  EXPECT_TRUE(HasDefaultRoute(sources_));
  Routes("", std::string(kLoopbackV6) + kDefaultV6);
  EXPECT_TRUE(HasDefaultRoute(sources_));
  // A default route that is not up, or one through loopback, reaches nothing.
  Routes("eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"
         "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n",
         kLoopbackV6);
  EXPECT_FALSE(HasDefaultRoute(sources_));
  // Damaged lines are passed over.
  Routes("garbage\neth0\tZZ\t0\t0003\n" + std::string(kDefaultV4), "short line\n");
  EXPECT_TRUE(HasDefaultRoute(sources_));
  std::filesystem::remove_all(sources_.proc_root / "net");
  EXPECT_FALSE(HasDefaultRoute(sources_));
}

TEST_F(ConnectionManagerTest, TunnelInterfacesCountOnlyWhenUp) {
  EXPECT_THAT(TunnelInterfacesUp(sources_), ElementsAre());
  Interface("tun0", 65534, "0x1091", "unknown", true);
  Interface("wg0", 65534, "0x90", "down");         // configured but down
  Interface("ppp0", 512, "0x1091", "down");        // link went away
  Interface("corp", 65534, "0x1091", "unknown");   // named by its owner, typed as a tunnel
  Interface("ptp1", 1, "0x1011", "up");            // point-to-point link
  Interface("docker0", 1, "0x1003", "up");         // a bridge is no VPN
  EXPECT_THAT(TunnelInterfacesUp(sources_), ElementsAre("corp", "ptp1", "tun0"));
  std::filesystem::remove_all(sources_.sys_root);
  EXPECT_THAT(TunnelInterfacesUp(sources_), ElementsAre());
}

// NetworkManager, when it runs, can deny the Internet a stale route suggests;
// when it is not running or missing, the route decides.
TEST_F(ConnectionManagerTest, NetworkManagerStateOverridesAStaleRoute) {
  Routes(kDefaultV4, kLoopbackV6);
  NetworkManagerSays("disconnected");
  EXPECT_EQ(NetworkManagerState(sources_), "disconnected");
  ConnectionManager manager(sources_);
  EXPECT_FALSE(manager.RequestConnection(DestinationNetwork::kInternet));
  NetworkManagerSays("connected (local only)");
  EXPECT_FALSE(ConnectionManager(sources_).RequestConnection(DestinationNetwork::kInternet));
  NetworkManagerSays("connected");
  EXPECT_TRUE(ConnectionManager(sources_).RequestConnection(DestinationNetwork::kInternet));
  NetworkManagerSays("Error: NetworkManager is not running.", 8);
  EXPECT_EQ(NetworkManagerState(sources_), std::nullopt);
  EXPECT_TRUE(ConnectionManager(sources_).RequestConnection(DestinationNetwork::kInternet));
  sources_.nmcli = (home_.root() / "no-such-nmcli").string();
  EXPECT_EQ(NetworkManagerState(sources_), std::nullopt);
  EXPECT_TRUE(ConnectionManager(sources_).RequestConnection(DestinationNetwork::kInternet));
  // No route: NetworkManager cannot make one up.
  Routes("", kLoopbackV6);
  NetworkManagerSays("connected");
  EXPECT_FALSE(ConnectionManager(sources_).RequestConnection(DestinationNetwork::kInternet));
}

// Each policy asks for its networks in its order and succeeds when the last
// request does; no policy asks for nothing.
TEST_F(ConnectionManagerTest, PoliciesAskInTheirOrder) {
  struct Case {
    int policy;
    bool internet;
    bool work;
    bool expected;
    std::vector<std::string> asked;
  } cases[] = {
      {0, false, false, true, {}},
      {5, false, false, true, {}},
      {-1, false, false, true, {}},
      {1, true, false, false, {"Work"}},
      {1, false, true, true, {"Work"}},
      {2, true, false, true, {"The Internet"}},
      {2, false, true, false, {"The Internet"}},
      {3, true, false, true, {"Work", "The Internet"}},
      {3, false, true, true, {"Work"}},
      {3, false, false, false, {"Work", "The Internet"}},
      {4, false, true, true, {"The Internet", "Work"}},
      {4, true, true, true, {"The Internet"}},
      {4, false, false, false, {"The Internet", "Work"}},
  };
  for (const Case& c : cases) {
    Routes(c.internet ? kDefaultV4 : "", kLoopbackV6);
    std::filesystem::remove_all(sources_.sys_root / "class/net/tun0");
    if (c.work) Interface("tun0", 65534, "0x1091", "unknown", true);
    std::vector<std::string> asked;
    ConnectionManager manager(sources_, [&](std::string_view line) {
      const std::string prefix = "Requesting network \"";
      if (line.substr(0, prefix.size()) == prefix) asked.emplace_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
    });
    EXPECT_EQ(EstablishConnection(manager, c.policy), c.expected) << "policy " << c.policy;
    EXPECT_EQ(asked, c.asked) << "policy " << c.policy;
    EXPECT_EQ(manager.held().has_value(), c.expected && !c.asked.empty()) << "policy " << c.policy;
  }
}

// A new delivery first gives back what the last one held.
TEST_F(ConnectionManagerTest, EstablishReleasesTheEarlierConnection) {
  Routes(kDefaultV4, kLoopbackV6);
  std::vector<std::string> lines;
  ConnectionManager manager(sources_, [&](std::string_view line) { lines.emplace_back(line); });
  ASSERT_TRUE(EstablishConnection(manager, kConnectInternet));
  EXPECT_EQ(manager.held(), DestinationNetwork::kInternet);
  lines.clear();
  EXPECT_TRUE(EstablishConnection(manager, kConnectNone));
  EXPECT_EQ(manager.held(), std::nullopt);
  EXPECT_THAT(lines, ElementsAre("Releasing network \"The Internet\""));
  lines.clear();
  EXPECT_FALSE(EstablishConnection(manager, kConnectWork));
  EXPECT_THAT(lines, ElementsAre("Requesting network \"Work\"", "Network \"Work\" is not available"));
}

}  // namespace
}  // namespace platform
