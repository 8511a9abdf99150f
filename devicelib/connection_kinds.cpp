// The device's connection objects, one of each kind.
#include "devicelib/broadcom_ndis_connection.h"
#include "devicelib/connection.h"
#include "devicelib/ndis_connection.h"
#include "devicelib/ras_connection.h"

namespace GSM {

std::unique_ptr<Connection> MakeConnection(ConnectionKind kind, Device& device) {
  switch (kind) {
    case ConnectionKind::Ras:
      return std::make_unique<RasConnection>(device);
    case ConnectionKind::Ndis:
      return std::make_unique<NdisConnection>(device);
    case ConnectionKind::BroadcomNdis:
      return std::make_unique<BroadcomNdisConnection>(device);
  }
  return nullptr;
}

}  // namespace GSM
