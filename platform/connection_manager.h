#pragma once
// The connection manager: before a delivery the program asks for the network a
// note needs, the Internet or the corporate network ("Work"), and releases it
// afterwards. On Linux the system keeps its networks up by itself, so a request
// is answered from the system's state at that moment:
//   - the Internet is there when a default route (IPv4 or IPv6) goes through an
//     interface other than loopback and, when NetworkManager runs, it does not
//     report itself disconnected, asleep, connecting or local-only;
//   - "Work" is there when a VPN or tunnel interface is up (tun*, tap*, wg*,
//     ppp*, ipsec*, vti*, or an interface of a tunnel or point-to-point type).
// The places read are injectable, so tests present their own /proc and /sys.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class DestinationNetwork { kInternet, kWork };

// "The Internet" or "Work".
std::string_view DestinationNetworkName(DestinationNetwork network);

struct NetworkStateSources {
  std::filesystem::path proc_root = "/proc";     // net/route, net/ipv6_route
  std::filesystem::path sys_root = "/sys";       // class/net/<interface>/...
  // NetworkManager's command-line client (looked up on PATH); empty: not asked.
  std::string nmcli = "nmcli";
};

// What the system says now.
bool HasDefaultRoute(const NetworkStateSources& sources);
// The names of tunnel or VPN interfaces that are up, sorted.
std::vector<std::string> TunnelInterfacesUp(const NetworkStateSources& sources);
// NetworkManager's general state ("connected", "disconnected", ...); nullopt when
// it is not running or its client is missing.
std::optional<std::string> NetworkManagerState(const NetworkStateSources& sources);

class ConnectionManager {
 public:
  // log: where each request and its answer are described (may be empty).
  explicit ConnectionManager(NetworkStateSources sources = {}, std::function<void(std::string_view)> log = {});

  // Asks for a network, synchronously; true when it is available. A granted
  // network is held until ReleaseConnection.
  [[nodiscard]] bool RequestConnection(DestinationNetwork network);
  // Gives up the held network; the system may keep it up for others.
  void ReleaseConnection();
  std::optional<DestinationNetwork> held() const { return held_; }

 private:
  bool Available(DestinationNetwork network);
  NetworkStateSources sources_;
  std::function<void(std::string_view)> log_;
  std::optional<DestinationNetwork> held_;
};

// The connection policies of the settings.
enum ConnectionPolicyValue : int {
  kConnectNone = 0,
  kConnectWork = 1,
  kConnectInternet = 2,
  kConnectWorkThenInternet = 3,
  kConnectInternetThenWork = 4,
};

// Brings up the network the connection policy asks for, after releasing the one
// an earlier delivery held: 0 (or anything above 4) asks for nothing and
// succeeds; 1 "Work"; 2 the Internet; 3 "Work", on failure the Internet; 4 the
// Internet, on failure "Work". True when the last request made succeeded.
[[nodiscard]] bool EstablishConnection(ConnectionManager& manager, int policy);

}  // namespace platform
