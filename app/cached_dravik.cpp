#include "app/cached_dravik.h"

CachedDravikValues::CachedDravikValues()
    : CurrentProfile(std::make_shared<CProfile>()), SmsStore(std::make_shared<CSmsMessages>()) {}

bool CachedDravikValues::Registered() const {
  auto registered = [](int state) { return state == 1 || state == 5; };
  return registered(CsNetworkState) || registered(PsNetworkState);
}

CachedDravik& CachedDravik::Instance() {
  static CachedDravik cache;
  return cache;
}

CachedDravikValues CachedDravik::Snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void CachedDravik::Update(const std::function<void(CachedDravikValues&)>& change) {
  std::lock_guard lock(mutex_);
  change(values_);
}

void CachedDravik::Reset(std::shared_ptr<const CProfile> profile) {
  CachedDravikValues fresh;
  if (profile) fresh.CurrentProfile = std::move(profile);
  std::lock_guard lock(mutex_);
  fresh.CardHeldText = std::move(values_.CardHeldText);
  values_ = std::move(fresh);
}
