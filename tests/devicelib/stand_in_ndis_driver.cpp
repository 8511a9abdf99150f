#include "tests/devicelib/stand_in_ndis_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "devicelib/connection.h"
#include "platform/ascii.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "sim/card_layout.h"
#include "sim/sim_card_builder.h"

namespace testing_support {
namespace {

constexpr std::u16string_view kNdisDevicePrefix = u"\\\\.\\VLNDIS";

uint32_t Answer(std::span<uint8_t> output, const void* data, size_t size, uint32_t& returned) {
  if (output.size() < size) return platform::kErrorInsufficientBuffer;
  std::memcpy(output.data(), data, size);
  returned = static_cast<uint32_t>(size);
  return platform::kErrorSuccess;
}

// A control-device file of the stand-in driver: the adapter query stays the
// simulated card's, everything else is the driver's while the card is in.
class DriverFile final : public platform::DeviceFile {
 public:
  DriverFile(std::unique_ptr<platform::DeviceFile> card_file, StandInNdisDriver& driver, platform::SimDeviceTree& tree,
             std::u16string name)
      : card_file_(std::move(card_file)), driver_(driver), tree_(tree), name_(std::move(name)) {
    driver_.FileOpened();
  }
  ~DriverFile() override { driver_.FileClosed(); }

  uint32_t IoControl(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                     uint32_t& returned) override {
    if (code == platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID) return card_file_->IoControl(code, input, output, returned);
    std::unique_ptr<platform::DeviceFile> presence;
    if (tree_.OpenDevice(name_, platform::kDeviceAccessNone, presence) != platform::kErrorSuccess) {
      returned = 0;
      return platform::kErrorAccessDenied;
    }
    return driver_.Request(code, input, output, returned);
  }

 private:
  std::unique_ptr<platform::DeviceFile> card_file_;
  StandInNdisDriver& driver_;
  platform::SimDeviceTree& tree_;
  std::u16string name_;
};

// The 3G card's database section, as a card without the multiplexing
// capability and with a product ID of its own.
constexpr std::string_view kMultiplexing3gSection = "[Vombel Sim 3G Multiplexing Card]";
constexpr uint16_t kNonMultiplexingProductId = 0x0102;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// Card detection keeps the database module it was last given for every
// later initialisation in the process, so this one lives as long as the
// process; it holds every shipped card, so later tests see no difference.
platform::HMODULE CardDbWithNonMultiplexing3g() {
  static const platform::ResourceModule module = [] {
    platform::HRSRC resource = platform::FindResource(nullptr, 101, "NW_DATA");
    const auto* data = static_cast<const char*>(platform::LockResource(platform::LoadResource(nullptr, resource)));
    const std::string shipped(data, platform::SizeofResource(nullptr, resource));
    const size_t start = shipped.find(kMultiplexing3gSection);
    const size_t end = shipped.find("\n[", start);
    std::string section = shipped.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    ReplaceAll(section, kMultiplexing3gSection, "[Vombel Sim 3G Card Without Multiplexing]");
    ReplaceAll(section, "PID_0101", "PID_0102");
    ReplaceAll(section, "AdDriverCap=0x487", "AdDriverCap=0x486");
    return platform::ResourceModuleBuilder().Add("NW_DATA", 101, shipped + "\r\n" + section).Build();
  }();
  return module.handle();
}

const sim::CardLayout& NonMultiplexing3gLayout() {
  static const sim::CardLayout layout = [] {
    sim::CardLayout copy = sim::LayoutOf(sim::CardKind::kMultiplexing3g);
    copy.product_id = kNonMultiplexingProductId;
    return copy;
  }();
  return layout;
}

}  // namespace

// --- The driver ------------------------------------------------------------------

StandInNdisDriver::StandInNdisDriver() : config_(platform::kNdisConfigSize, 0) {
  // Bytes of the driver's own that a write-back must keep.
  std::fill_n(config_.begin(), 129, 0xA5);
}

uint32_t StandInNdisDriver::Request(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                                    uint32_t& returned) {
  std::unique_lock lock(mutex_);
  returned = 0;
  ++counts_[code];
  last_inputs_[code].assign(input.begin(), input.end());
  for (uint32_t failing : {kAnyRequest, code}) {
    if (auto it = failures_.find(failing); it != failures_.end()) return it->second;
  }
  const uint8_t reply[platform::kBroadcomNdisReplySize] = {};
  switch (code) {
    case platform::IOCTL_VL_NDIS_GET_STATE:
      if (hold_next_) {
        hold_next_ = false;
        holding_ = true;
        released_ = false;
        held_cv_.notify_all();
        held_cv_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
        holding_ = false;
        open_files_at_release_ = open_files_;
      }
      return Answer(output, &state_, sizeof state_, returned);
    case platform::IOCTL_VL_NDIS_GET_STATISTICS:
      return Answer(output, &statistics_, sizeof statistics_, returned);
    case platform::IOCTL_VL_NDIS_GET_CONFIG:
      return Answer(output, config_.data(), config_.size(), returned);
    case platform::IOCTL_VL_NDIS_SET_CONFIG:
      if (input.size() != config_.size()) return platform::kErrorInvalidParameter;
      config_.assign(input.begin(), input.end());
      return platform::kErrorSuccess;
    case platform::IOCTL_VL_NDIS_GPRS_CONNECT:
      state_ = after_connect_;
      return output.empty() ? platform::kErrorSuccess : Answer(output, reply, sizeof reply, returned);
    case platform::IOCTL_VL_NDIS_GPRS_DISCONNECT:
      state_ = after_disconnect_;
      return output.empty() ? platform::kErrorSuccess : Answer(output, reply, sizeof reply, returned);
    default:
      return platform::kErrorInvalidFunction;
  }
}

void StandInNdisDriver::SetState(uint32_t state, uint32_t reason) {
  std::lock_guard lock(mutex_);
  state_ = {state, reason};
}

void StandInNdisDriver::SetAfterConnect(uint32_t state, uint32_t reason) {
  std::lock_guard lock(mutex_);
  after_connect_ = {state, reason};
}

void StandInNdisDriver::SetAfterDisconnect(uint32_t state, uint32_t reason) {
  std::lock_guard lock(mutex_);
  after_disconnect_ = {state, reason};
}

void StandInNdisDriver::SetStatistics(uint32_t sent, uint32_t received, uint32_t duration) {
  std::lock_guard lock(mutex_);
  statistics_ = {sent, received, {11, 12, 13}, duration};
}

void StandInNdisDriver::Fail(uint32_t code, uint32_t error) {
  std::lock_guard lock(mutex_);
  if (error == 0) {
    failures_.erase(code);
  } else {
    failures_[code] = error;
  }
}

size_t StandInNdisDriver::Count(uint32_t code) const {
  std::lock_guard lock(mutex_);
  auto it = counts_.find(code);
  return it == counts_.end() ? 0 : it->second;
}

std::vector<uint8_t> StandInNdisDriver::LastInput(uint32_t code) const {
  std::lock_guard lock(mutex_);
  auto it = last_inputs_.find(code);
  return it == last_inputs_.end() ? std::vector<uint8_t>() : it->second;
}

void StandInNdisDriver::SetConfigSlot(size_t slot, const std::string& text) {
  std::lock_guard lock(mutex_);
  const size_t offset = platform::kNdisConfigCommandOffset + slot * platform::kNdisConfigCommandSize;
  std::fill_n(config_.begin() + offset, platform::kNdisConfigCommandSize, 0);
  std::copy(text.begin(), text.end(), config_.begin() + offset);
}

std::string StandInNdisDriver::ConfigSlot(size_t slot) const {
  std::lock_guard lock(mutex_);
  const size_t offset = platform::kNdisConfigCommandOffset + slot * platform::kNdisConfigCommandSize;
  std::string text;
  for (size_t i = offset; i < offset + platform::kNdisConfigCommandSize && config_[i] != 0; ++i) {
    text.push_back(static_cast<char>(config_[i]));
  }
  return text;
}

std::vector<uint8_t> StandInNdisDriver::Config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void StandInNdisDriver::HoldNextStateRead() {
  std::lock_guard lock(mutex_);
  hold_next_ = true;
}

bool StandInNdisDriver::HoldingRead() const {
  std::lock_guard lock(mutex_);
  return holding_;
}

void StandInNdisDriver::ReleaseStateRead() {
  std::lock_guard lock(mutex_);
  released_ = true;
  held_cv_.notify_all();
}

int StandInNdisDriver::OpenFilesWhenHeldReadReturned() const {
  std::lock_guard lock(mutex_);
  return open_files_at_release_;
}

void StandInNdisDriver::FileOpened() {
  std::lock_guard lock(mutex_);
  ++open_files_;
}

void StandInNdisDriver::FileClosed() {
  std::lock_guard lock(mutex_);
  --open_files_;
}

int StandInNdisDriver::OpenFiles() const {
  std::lock_guard lock(mutex_);
  return open_files_;
}

// --- The tree ---------------------------------------------------------------------

uint32_t StandInDriverTree::OpenDevice(std::u16string_view name, uint32_t access,
                                       std::unique_ptr<platform::DeviceFile>& file) {
  const uint32_t rc = tree_.OpenDevice(name, access, file);
  if (rc == platform::kErrorSuccess && platform::AsciiStartsWithIgnoreCase(name, kNdisDevicePrefix)) {
    file = std::make_unique<DriverFile>(std::move(file), driver_, tree_, std::u16string(name));
  }
  return rc;
}

uint32_t StandInDriverTree::PortIoControl(const std::string&, uint32_t code, std::span<const uint8_t> input,
                                          std::span<uint8_t> output, uint32_t& returned) {
  return driver_.Request(code, input, output, returned);
}

// --- The fixture --------------------------------------------------------------------

void NdisFixture::SetUp() {
  DvClientHandlers handlers;
  handlers.on_event = &NdisFixture::RecordEvent;
  handlers.on_error = &NdisFixture::RecordError;
  handlers.context = this;
  ASSERT_EQ(DvInitialize(CardDbWithNonMultiplexing3g(), handlers), DV_S_OK);
  initialized_ = true;
  Settle();
}

void NdisFixture::RecordEvent(uint32_t event, uintptr_t parameter, void* context) {
  static_cast<NdisFixture*>(context)->events_.push_back({event, parameter, GSM::Device::Instance().GetDeviceState()});
}

void NdisFixture::RecordError(uint32_t type, DvResult primary, DvResult secondary, void* context) {
  static_cast<NdisFixture*>(context)->errors_.push_back({type, primary, secondary});
}

bool NdisFixture::PlugCard(sim::CardKind kind) {
  if (!PlugAndInitialize(sim::NewSimCard(kind).Registered(1))) return false;
  return FinishPlug();
}

bool NdisFixture::PlugNonMultiplexing3g() {
  auto card = std::make_unique<sim::SimCard>(sim::ClassOf(sim::CardKind::kMultiplexing3g),
                                             sim::NewSimCard().Registered(1).State());
  presence_ = std::make_unique<sim::SimPresence>(std::move(card), tree_, NonMultiplexing3gLayout());
  if (!presence_->Plug()) return false;
  if (!PumpUntil([&] { return Device().GetDeviceState() == GSM::DeviceState::Found; })) return false;
  if (InitializeDevice() != DV_S_OK) return false;
  Settle();
  return FinishPlug();
}

bool NdisFixture::FinishPlug() {
  adapter_ = platform::Utf16ToUtf8(CardInfoText(Device().CardInfo().NetCfgInstanceId));
  if (adapter_.empty() || Device().CurrentConnection() == nullptr) return false;
  ip_.AddAdapter(adapter_, platform::MIB_IF_TYPE_ETHERNET, true);
  return PumpReads(1);
}

bool NdisFixture::PumpReads(size_t reads) {
  const size_t target = driver_.Count(platform::IOCTL_VL_NDIS_GET_STATE) + reads;
  return PumpUntil([&] { return driver_.Count(platform::IOCTL_VL_NDIS_GET_STATE) >= target; });
}

size_t NdisFixture::CountErrors(DvResult code) const {
  return static_cast<size_t>(
      std::count_if(errors_.begin(), errors_.end(), [&](const Error& e) { return e.primary == code; }));
}

bool NdisFixture::ConnectAndReachConnected() {
  if (Current().Connect(nullptr, u"web", u"secret", 0) != DV_S_OK) return false;
  driver_.SetState(platform::kNdisStateConnected, 0);
  ip_.SetAddress(adapter_, "10.64.0.2");
  return PumpUntilState(GSM::ConnectionState::Connected);
}

}  // namespace testing_support
