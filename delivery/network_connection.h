#pragma once
// The network a delivery brings up before sending, and the policy that picks
// it. NetworkConnector is the seam for the system's connection manager:
// ConnectionManagerConnector asks the platform's, AlwaysConnected answers
// every request with "connected".

#include <cstdint>

#include "base/activity_log.h"
#include "platform/connection_manager.h"
#include "settings/app_settings.h"

namespace delivery {

enum class NetworkDestination { kInternet, kWork };

class NetworkConnector {
 public:
  virtual ~NetworkConnector() = default;
  // Asks synchronously, without a time limit, for the destination network at
  // user-interactive priority, not exclusive; true when the manager says it is up.
  virtual bool Request(NetworkDestination destination) = 0;
  // Lets go of the connection of an earlier request (caching allowed); does
  // nothing without one.
  virtual void Release() = 0;
};

class AlwaysConnected : public NetworkConnector {
 public:
  bool Request(NetworkDestination) override { return true; }
  void Release() override {}
};

// Requests go to the platform's connection manager, which holds a granted
// network until the next Release.
class ConnectionManagerConnector : public NetworkConnector {
 public:
  explicit ConnectionManagerConnector(platform::NetworkStateSources sources = {}) : manager_(std::move(sources)) {}
  bool Request(NetworkDestination destination) override;
  void Release() override { manager_.ReleaseConnection(); }
  const platform::ConnectionManager& manager() const { return manager_; }

 private:
  platform::ConnectionManager manager_;
};

// Releases the earlier connection, then: policy None (or any value above 4)
// succeeds without a request; Work and Internet ask for that network;
// WorkThenInternet and InternetThenWork fall back to the other one. True
// when the last request succeeded.
bool EstablishConnection(NetworkConnector& connector, std::uint16_t connection_setting);

}  // namespace delivery
