#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace testing_support {

// The event loop of a test's UI thread, reduced to what the run's bridge
// needs: wake-ups from any thread, and a pump that waits for one and then
// serves.
class FakeUiThread {
 public:
  void Wake() {
    std::lock_guard lock(m_mutex);
    ++m_wakes;
    m_woken.notify_all();
  }

  // Waits until a wake-up is pending, leaving it pending.
  void WaitUntilWoken() {
    std::unique_lock lock(m_mutex);
    m_woken.wait(lock, [&] { return m_wakes > 0; });
  }

  // UI thread: waits until woken (or a wake-up is pending), then serves.
  void Pump(const std::function<void()>& serve) {
    {
      std::unique_lock lock(m_mutex);
      m_woken.wait(lock, [&] { return m_wakes > 0; });
      m_wakes = 0;
    }
    serve();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_woken;
  int m_wakes = 0;
};

}  // namespace testing_support
