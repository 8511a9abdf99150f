// The device's connection objects, one of each kind.
#include "devicelib/connection.h"

namespace GSM {

std::unique_ptr<Connection> MakeConnection(ConnectionKind kind, Device& device) {
  (void)device;
  switch (kind) {
    case ConnectionKind::Ras:
    case ConnectionKind::Ndis:
    case ConnectionKind::BroadcomNdis:
      break;
  }
  return nullptr;
}

}  // namespace GSM
