// The control requests of a card's WWAN network driver and their records:
// the contract between the library's NDIS connections and the driver. The
// driver answers them on its NDIS control device (a device name the card
// detection finds), and a Broadcom-type card's driver on its application
// port. No Linux driver offers these requests; the simulated driver does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr uint32_t IOCTL_VL_NDIS_GPRS_CONNECT = 0x1B202C;
inline constexpr uint32_t IOCTL_VL_NDIS_GPRS_DISCONNECT = 0x1B2030;
inline constexpr uint32_t IOCTL_VL_NDIS_GET_STATE = 0x1B2034;
inline constexpr uint32_t IOCTL_VL_NDIS_GET_STATISTICS = 0x1B2038;
inline constexpr uint32_t IOCTL_VL_NDIS_SET_CONFIG = 0x1B2808;
inline constexpr uint32_t IOCTL_VL_NDIS_GET_CONFIG = 0x1B280C;
// Which adapter the control device drives (UTF-16LE text, zero-terminated).
inline constexpr uint32_t IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID = 0x1B2840;

// Driver connection states of the state record.
enum NdisDriverState : uint32_t {
  kNdisStateDisconnected = 0,
  kNdisStateConnected = 1,
  kNdisStateConnecting2 = 2,  // the first connecting stage (Broadcom-type drivers only count it as connecting)
  kNdisStateConnecting3 = 3,
  kNdisStateConnecting4 = 4,
  kNdisStateConnecting5 = 5,
  kNdisStateDisconnecting = 6,
  kNdisStateFailed = 7,       // the reason says why
};

// The connect request: dial string, user name and password as
// zero-terminated 8-bit text (OEM code page), the rest zero.
inline constexpr size_t kNdisDialStringSize = 129;
inline constexpr size_t kNdisCredentialSize = 40;  // at most 39 bytes and the zero
inline constexpr size_t kNdisUserNameOffset = 129;
inline constexpr size_t kNdisPasswordOffset = 169;
inline constexpr size_t kNdisConnectRequestSize = 225;           // NDIS control device
inline constexpr size_t kBroadcomNdisConnectRequestSize = 228;   // application port
// What a Broadcom-type driver writes for connect and disconnect (not read).
inline constexpr size_t kBroadcomNdisReplySize = 8;

struct NdisStateRecord {
  uint32_t state;
  uint32_t reason;
};
static_assert(sizeof(NdisStateRecord) == 8 && offsetof(NdisStateRecord, reason) == 4);

struct NdisStatisticsRecord {
  uint32_t bytes_transmitted;
  uint32_t bytes_received;
  uint32_t unused[3];
  uint32_t duration;  // the driver's unit, passed through
};
static_assert(sizeof(NdisStatisticsRecord) == 24 && offsetof(NdisStatisticsRecord, duration) == 20);

// The driver configuration record: the credentials as in the connect
// request, and seven command slots the driver sends to the card; every
// other byte is the driver's own and is written back as read.
inline constexpr size_t kNdisConfigSize = 3813;
inline constexpr size_t kNdisConfigCommandOffset = 2017;
inline constexpr size_t kNdisConfigCommandSlots = 7;
inline constexpr size_t kNdisConfigCommandSize = 256;
static_assert(kNdisConfigCommandOffset + kNdisConfigCommandSlots * kNdisConfigCommandSize <= kNdisConfigSize);

}  // namespace platform
