#include "carddetect/detection_state.h"

#include "carddetect/standard_card.h"

const CardDbEntry* NwLibraryState::DetectedCard() const {
  if (detection.standard_card) return &StandardCardEntry();
  if (detection.card_index < 0) return nullptr;
  const auto index = static_cast<size_t>(detection.card_index);
  return index < card_db.entries.size() ? &card_db.entries[index] : nullptr;
}

NwLibraryState& NwState() {
  static NwLibraryState state;
  return state;
}

void ResetCardInfo(NwLibraryState& state) {
  state.card_info = NwCardInfo{};
  state.detection = DetectionState{};
}
