// A notification area for tests: records every entry the program adds, with
// its icon and tooltip, and clicks on an entry as the user would.
#pragma once

#include <memory>
#include <vector>

#include "app/ui/tray_area.h"

namespace ui_testing {

class FakeTrayArea final : public CTrayArea {
 public:
  struct Entry {
    bool shown = false;
    QIcon icon;
    QString tooltip;
    int adds = 0;
    MouseHandler on_mouse;
  };

  explicit FakeTrayArea(bool available = true) : available_(available) {}

  bool Available() const override { return available_; }
  std::unique_ptr<CTrayEntry> NewEntry(MouseHandler on_mouse) override {
    auto entry = std::make_shared<Entry>();
    entry->on_mouse = std::move(on_mouse);
    entries_.push_back(entry);
    return std::make_unique<Handle>(entry, *this);
  }

  // Entries in the order they were made (the main icon first).
  const Entry* At(size_t i) const { return i < entries_.size() ? entries_[i].get() : nullptr; }
  void Click(size_t i, intptr_t mouse_message) const { entries_.at(i)->on_mouse(mouse_message); }
  bool refuse_add = false;

 private:
  class Handle final : public CTrayEntry {
   public:
    Handle(std::shared_ptr<Entry> entry, const FakeTrayArea& area) : entry_(std::move(entry)), area_(area) {}
    bool Add(const QIcon& icon, const QString& tooltip) override {
      if (area_.refuse_add) return false;
      entry_->shown = true;
      entry_->icon = icon;
      entry_->tooltip = tooltip;
      ++entry_->adds;
      return true;
    }
    bool Remove() override {
      entry_->shown = false;
      return true;
    }
    bool SetTooltip(const QString& tooltip) override {
      entry_->tooltip = tooltip;
      return true;
    }

   private:
    std::shared_ptr<Entry> entry_;
    const FakeTrayArea& area_;
  };

  bool available_;
  std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace ui_testing
