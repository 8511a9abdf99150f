// The connection's traffic: while connected, one sample of its statistics
// a second into the cache. Nothing is asked of the card while disconnected.
#include "app/app_messages.h"
#include "app/worker_work.h"
#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "foundation/xlog.h"
#include "platform/clock.h"

using namespace app_messages;

void CWorkerThread::Work::FollowConnectionForTraffic(int state) {
  const bool connected = state == GSM::ConnectionState::Connected;
  if (connected == traffic_.Running()) return;
  if (connected) {
    traffic_.Start(platform::CurrentClock().NowMs());
    traffic_failure_logged_ = false;
    // The first figures come with the connected state.
    SampleTraffic();
  } else {
    traffic_.Stop();
    cache_.Update([](CachedDravikValues& v) { v.Traffic = TrafficFigures{}; });
  }
}

void CWorkerThread::Work::SampleTraffic() {
  if (!traffic_.Running()) return;
  // The device went away and took its cache along.
  if (cache_.Snapshot().ConnectionState != GSM::ConnectionState::Connected) {
    FollowConnectionForTraffic(GSM::ConnectionState::Disconnected);
    return;
  }
  GSM::Connection* connection = library_ready_ ? GSM::Device::Instance().CurrentConnection() : nullptr;
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t duration = 0;
  const DvResult rc = connection != nullptr ? connection->GetStatistics(&sent, &received, &duration)
                                            : DV_E_NO_CONNECTION;
  if (rc != DV_S_OK) {
    // The figures stay as they were; said once, not every second.
    if (!traffic_failure_logged_) XLogLevel(kXLogWarning, "GetStatistics failed with 0x%x", rc);
    traffic_failure_logged_ = true;
    return;
  }
  const TrafficFigures figures = traffic_.Sample(sent, received, duration, platform::CurrentClock().NowMs());
  cache_.Update([&](CachedDravikValues& v) { v.Traffic = figures; });
  Notify(WM_APP_TRAFFIC);
}
