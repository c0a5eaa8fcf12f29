#include "delivery/network_connection.h"

namespace delivery {

bool ConnectionManagerConnector::Request(NetworkDestination destination) {
  return manager_.RequestConnection(destination == NetworkDestination::kWork ? platform::DestinationNetwork::kWork
                                                                             : platform::DestinationNetwork::kInternet);
}

bool EstablishConnection(NetworkConnector& connector, std::uint16_t connection_setting) {
  connector.Release();
  switch (settings::EffectiveConnectionPolicy(connection_setting)) {
    case settings::ConnectionPolicy::None:
      return true;
    case settings::ConnectionPolicy::Work:
      return connector.Request(NetworkDestination::kWork);
    case settings::ConnectionPolicy::Internet:
      return connector.Request(NetworkDestination::kInternet);
    case settings::ConnectionPolicy::WorkThenInternet:
      return connector.Request(NetworkDestination::kWork) || connector.Request(NetworkDestination::kInternet);
    case settings::ConnectionPolicy::InternetThenWork:
      return connector.Request(NetworkDestination::kInternet) || connector.Request(NetworkDestination::kWork);
  }
  return true;
}

}  // namespace delivery
