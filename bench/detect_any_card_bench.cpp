// What finding the card costs as the machine's device tree grows: DetectAnyCard
// with the shipped card database over simulated trees of 10, 100 and 1000 USB
// devices, the supported card added last (so every other device is read and
// compared against the whole table first).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "carddetect/card_db.h"
#include "carddetect/detection_state.h"
#include "carddetect/device_text.h"
#include "carddetect/enumeration.h"
#include "foundation/xlog.h"
#include "platform/sim_device_tree.h"

namespace {

void Discard(const char* line, void*) { benchmark::DoNotOptimize(line); }

// Detection traces every device it checks; the figures are the search's own.
struct QuietLog {
  QuietLog() {
    XLogSetSink(&Discard, nullptr);
    XLogSetThreshold(kXLogError);
  }
  ~QuietLog() {
    XLogSetSink(nullptr, nullptr);
    XLogSetThreshold(0);
  }
};

platform::SimDeviceTree::Node UsbDevice(const std::string& hardware_id, std::u16string instance_id) {
  platform::SimDeviceTree::Node node;
  node.enumerator = "USB";
  node.hardware_id = platform::SimDeviceTree::MultiSz({hardware_id, "USB\\Class_FF"});
  node.instance_id = std::move(instance_id);
  return node;
}

void BM_DetectAnyCard(benchmark::State& state) {
  QuietLog quiet;
  NwLibraryState library;
  if (InitializeCardDb(library.card_db, nullptr) != 0 || library.card_db.entries.empty()) {
    state.SkipWithError("shipped card database did not load");
    return;
  }
  const std::u16string card_ids = library.card_db.entries.front().HardwareIds;
  const std::string card_id = Narrow(card_ids.substr(0, card_ids.find(u',')));

  platform::SimDeviceTree tree;
  const auto devices = static_cast<int>(state.range(0));
  char id[64];
  for (int i = 0; i + 1 < devices; ++i) {
    std::snprintf(id, sizeof id, "USB\\VID_0A%02X&PID_%04X", i % 256, i);
    tree.Add(0, UsbDevice(id, u"USB\\OTHER"));
  }
  const auto card = tree.Add(0, UsbDevice(card_id, u"USB\\CARD\\1"));
  for (const char16_t* interface : {u"USB\\CARD&MI_00\\1", u"USB\\CARD&MI_01\\1", u"USB\\CARD&MI_02\\1"}) {
    platform::SimDeviceTree::Node node;
    node.instance_id = interface;
    tree.Add(card, node);
  }
  platform::ScopedDeviceTree scoped(tree);

  for (auto _ : state) {
    ResetCardInfo(library);
    if (!DetectAnyCard(library)) {
      state.SkipWithError("card not detected");
      break;
    }
    benchmark::DoNotOptimize(library.card_info.DevNode);
  }
  state.counters["devices"] = devices;
  state.counters["cards"] = static_cast<double>(library.card_db.entries.size());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * devices);
}
BENCHMARK(BM_DetectAnyCard)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
