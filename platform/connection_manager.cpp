#include "platform/connection_manager.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/process.h"

namespace platform {
namespace {

constexpr std::uint32_t kRouteUp = 0x0001;       // RTF_UP
constexpr std::uint32_t kRouteReject = 0x0200;   // RTF_REJECT
constexpr std::uint32_t kInterfaceUp = 0x1;      // IFF_UP
constexpr std::uint32_t kPointToPoint = 0x10;    // IFF_POINTOPOINT

// Hardware types of tunnels and point-to-point links (ARPHRD_*).
constexpr int kTunnelTypes[] = {512 /* PPP */, 768 /* TUNNEL */, 769 /* TUNNEL6 */, 776 /* SIT */,
                                778 /* IPGRE */, 823 /* IP6GRE */, 65534 /* NONE: tun, wireguard */};
constexpr std::string_view kTunnelPrefixes[] = {"tun", "tap", "wg", "ppp", "ipsec", "vti", "ip_vti", "gpd", "vpn"};

std::optional<std::uint32_t> ParseHex(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  try {
    std::size_t used = 0;
    unsigned long value = std::stoul(text, &used, 16);
    if (used != text.size()) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  } catch (...) {
    return std::nullopt;
  }
}

// One line of a sysfs attribute, without the line end.
std::optional<std::string> ReadAttribute(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

bool DefaultRouteV4(const std::filesystem::path& table) {
  std::ifstream in(table);
  std::string line;
  if (!std::getline(in, line)) return false;  // the column header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) continue;
    auto dest = ParseHex(destination);
    auto route_flags = ParseHex(flags);
    auto net_mask = ParseHex(mask);
    if (!dest || !route_flags || !net_mask) continue;
    if (*dest == 0 && *net_mask == 0 && (*route_flags & kRouteUp) && !(*route_flags & kRouteReject) && iface != "lo") {
      return true;
    }
  }
  return false;
}

bool DefaultRouteV6(const std::filesystem::path& table) {
  std::ifstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, source_prefix, next_hop, metric, refcnt, use, flags, iface;
    if (!(fields >> destination >> prefix >> source >> source_prefix >> next_hop >> metric >> refcnt >> use >> flags >>
          iface)) {
      continue;
    }
    auto route_flags = ParseHex(flags);
    if (!route_flags || destination != std::string(32, '0') || prefix != "00") continue;
    if ((*route_flags & kRouteUp) && !(*route_flags & kRouteReject) && iface != "lo") return true;
  }
  return false;
}

bool IsTunnel(const std::string& name, const std::filesystem::path& dir) {
  for (std::string_view prefix : kTunnelPrefixes) {
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  }
  if (std::filesystem::exists(dir / "tun_flags")) return true;
  if (auto type = ReadAttribute(dir / "type")) {
    try {
      int value = std::stoi(*type);
      if (std::find(std::begin(kTunnelTypes), std::end(kTunnelTypes), value) != std::end(kTunnelTypes)) return true;
    } catch (...) {
    }
  }
  auto flags = ReadAttribute(dir / "flags");
  auto value = flags && flags->rfind("0x", 0) == 0 ? ParseHex(flags->substr(2)) : std::nullopt;
  return value && (*value & kPointToPoint);
}

bool IsUp(const std::filesystem::path& dir) {
  auto flags = ReadAttribute(dir / "flags");
  auto value = flags && flags->rfind("0x", 0) == 0 ? ParseHex(flags->substr(2)) : std::nullopt;
  if (!value || !(*value & kInterfaceUp)) return false;
  // Tunnels often say "unknown"; only a plain "down" state counts against them.
  auto state = ReadAttribute(dir / "operstate");
  return !state || (*state != "down" && *state != "lowerlayerdown" && *state != "notpresent");
}

}  // namespace

std::string_view DestinationNetworkName(DestinationNetwork network) {
  return network == DestinationNetwork::kInternet ? "The Internet" : "Work";
}

bool HasDefaultRoute(const NetworkStateSources& sources) {
  return DefaultRouteV4(sources.proc_root / "net/route") || DefaultRouteV6(sources.proc_root / "net/ipv6_route");
}

std::vector<std::string> TunnelInterfacesUp(const NetworkStateSources& sources) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(sources.sys_root / "class/net", ec)) {
    std::string name = entry.path().filename().string();
    if (name == "lo") continue;
    if (IsTunnel(name, entry.path()) && IsUp(entry.path())) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> NetworkManagerState(const NetworkStateSources& sources) {
  if (sources.nmcli.empty()) return std::nullopt;
  auto result = RunProcess(sources.nmcli, {"-t", "-f", "STATE", "general"}, std::chrono::seconds(5), 4096);
  if (!result || result->exit_status != 0) return std::nullopt;
  std::string state = result->output.substr(0, result->output.find('\n'));
  if (state.empty()) return std::nullopt;
  return state;
}

ConnectionManager::ConnectionManager(NetworkStateSources sources, std::function<void(std::string_view)> log)
    : sources_(std::move(sources)), log_(std::move(log)) {}

bool ConnectionManager::Available(DestinationNetwork network) {
  if (network == DestinationNetwork::kWork) {
    std::vector<std::string> tunnels = TunnelInterfacesUp(sources_);
    if (log_ && !tunnels.empty()) log_("Tunnel interface up: " + tunnels.front());
    return !tunnels.empty();
  }
  if (!HasDefaultRoute(sources_)) {
    if (log_) log_("No default route");
    return false;
  }
  if (auto state = NetworkManagerState(sources_)) {
    if (log_) log_("NetworkManager state: " + *state);
    // A route alone does not make the Internet reachable when NetworkManager,
    // which owns the links, says it has none.
    if (*state == "disconnected" || *state == "asleep" || *state == "connecting" || *state == "disconnecting" ||
        *state == "connected (local only)") {
      return false;
    }
  }
  return true;
}

bool ConnectionManager::RequestConnection(DestinationNetwork network) {
  std::string name(DestinationNetworkName(network));
  if (log_) log_("Requesting network \"" + name + "\"");
  bool ok = Available(network);
  if (log_) log_("Network \"" + name + (ok ? "\" is available" : "\" is not available"));
  held_ = ok ? std::optional<DestinationNetwork>(network) : std::nullopt;
  return ok;
}

void ConnectionManager::ReleaseConnection() {
  if (held_ && log_) log_("Releasing network \"" + std::string(DestinationNetworkName(*held_)) + "\"");
  held_.reset();
}

bool EstablishConnection(ConnectionManager& manager, int policy) {
  manager.ReleaseConnection();
  switch (policy) {
    case kConnectWork:
      return manager.RequestConnection(DestinationNetwork::kWork);
    case kConnectInternet:
      return manager.RequestConnection(DestinationNetwork::kInternet);
    case kConnectWorkThenInternet:
      return manager.RequestConnection(DestinationNetwork::kWork) ||
             manager.RequestConnection(DestinationNetwork::kInternet);
    case kConnectInternetThenWork:
      return manager.RequestConnection(DestinationNetwork::kInternet) ||
             manager.RequestConnection(DestinationNetwork::kWork);
    default:
      // No policy (0), or one this program does not know: send without asking.
      return true;
  }
}

}  // namespace platform
