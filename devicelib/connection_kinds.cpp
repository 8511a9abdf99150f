// The device's connection objects, one of each kind.
#include "devicelib/connection.h"
#include "devicelib/ras_connection.h"

namespace GSM {

std::unique_ptr<Connection> MakeConnection(ConnectionKind kind, Device& device) {
  switch (kind) {
    case ConnectionKind::Ras:
      return std::make_unique<RasConnection>(device);
    case ConnectionKind::Ndis:
    case ConnectionKind::BroadcomNdis:
      break;
  }
  return nullptr;
}

}  // namespace GSM
