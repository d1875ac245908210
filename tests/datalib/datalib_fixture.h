#pragma once
// Helpers of the data library's tests on both platforms: a transaction monitor in the test
// process, and the setting every case runs in.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "lumadata/registry.h"
#include "notify_monitor.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/ui/scripted_ui.h"
#include "platform/winmsg/winmsg.h"
#include "support/test_support.h"
#include "transaction.h"

namespace datalib_test {

// The monitor window "(주)라움트랜스" in a private endpoint folder, made and answered on a thread
// of its own: the send waits for the receiver, so it cannot be the test's thread, and on
// Windows a window's messages go to the thread that made it. Records each notice as its text
// (CP949 read back, cbData - 1 bytes, embedded zero kept) with its dwData.
class MonitorRecorder {
 public:
  MonitorRecorder() {
    std::promise<bool> made;
    std::future<bool> up = made.get_future();
    thread_ = std::thread([this, &made] {
      auto endpoint = veltrano::winmsg::Endpoint::create(lumadata::kMonitorTitle, [this](const veltrano::winmsg::CopyData& m) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t n = m.cbData > 0 ? std::min<std::size_t>(m.cbData - 1, m.buffer.size()) : 0;
        notices_.push_back(veltrano::text::fromAnsi(std::span<const std::uint8_t>(m.buffer.data(), n)));
        dwData_.push_back(m.dwData);
        return std::int64_t{1};
      });
      made.set_value(endpoint != nullptr);
      while (endpoint && !stop_) endpoint->service(20);
    });
    up_ = up.get();
  }
  ~MonitorRecorder() {
    stop_ = true;
    thread_.join();
  }
  bool up() const { return up_; }
  std::vector<std::string> notices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notices_;
  }
  std::vector<std::uint64_t> dwData() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dwData_;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    notices_.clear();
    dwData_.clear();
  }

 private:
  veltrano::test::TempDir dir_;
  veltrano::test::ScopedEnv env_{"VELTRANO_WINMSG_DIR", dir_.path().string()};
  bool up_ = false;
  mutable std::mutex mutex_;
  std::vector<std::string> notices_;
  std::vector<std::uint64_t> dwData_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Every case runs with its own registry store, scripted user interface and monitor window.
struct Fixture {
  veltrano::test::ScopedRegistry registry;
  veltrano::ui::ScriptedUi scripted;
  veltrano::ui::ScopedUi scope{scripted};
  MonitorRecorder monitor;

  std::vector<veltrano::ui::ScriptedUi::Shown> errorWindows() const {
    std::vector<veltrano::ui::ScriptedUi::Shown> out;
    for (const auto& s : scripted.shown())
      if (s.kind == "ErrorWindow") out.push_back(s);
    return out;
  }
};

struct FaultHook {
  explicit FaultHook(std::string at) {
    lumadata::setTransactionFaultHook([at](std::string_view step) {
      if (step == at) throw veltrano::RuntimeError(veltrano::err::kObjectNotSet, "test", "injected at " + at);
    });
  }
  ~FaultHook() { lumadata::setTransactionFaultHook({}); }
};

// Writes the data service's address as the registry holds it for the data access class.
inline void setServerPath(const std::string& value) {
  lumadata::REGISTRY reg;
  reg.HKEY(lumadata::HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\ORVEX");
  reg.KeyName("SERVER");
  reg.KeyValue("SERVER_PATH");
  reg.SetRegistry(value);
}

}  // namespace datalib_test
