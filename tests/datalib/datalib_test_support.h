#pragma once
// Helpers of the data library's tests: a transaction monitor in the test process, a stand-in
// data service on loopback, and a rowset reply.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "notify_monitor.h"
#include "platform/ado/recordset.h"
#include "platform/text/ansi.h"
#include "platform/winmsg/winmsg.h"
#include "support/http_test_server.h"
#include "support/test_support.h"

namespace datalib_test {

// The monitor window "(주)라움트랜스" in a private endpoint folder, answering on a thread of its
// own (the send waits for the receiver, so it cannot be the test's thread). Records each
// notice as its text (CP949 read back, cbData - 1 bytes, embedded zero kept) with its dwData.
class MonitorRecorder {
 public:
  MonitorRecorder() {
    endpoint_ = veltrano::winmsg::Endpoint::create(lumadata::kMonitorTitle, [this](const veltrano::winmsg::CopyData& m) {
      std::lock_guard<std::mutex> lock(mutex_);
      const std::size_t n = m.cbData > 0 ? std::min<std::size_t>(m.cbData - 1, m.buffer.size()) : 0;
      notices_.push_back(veltrano::text::fromAnsi(std::span<const std::uint8_t>(m.buffer.data(), n)));
      dwData_.push_back(m.dwData);
      return std::int64_t{1};
    });
    if (endpoint_) thread_ = std::thread([this] {
      while (!stop_) endpoint_->service(20);
    });
  }
  ~MonitorRecorder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool up() const { return endpoint_ != nullptr; }
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
  std::unique_ptr<veltrano::winmsg::Endpoint> endpoint_;
  mutable std::mutex mutex_;
  std::vector<std::string> notices_;
  std::vector<std::uint64_t> dwData_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// An HTTP reply with a body in bytes as given.
inline std::string httpReply(int status, const std::string& reason, const std::string& body,
                             const std::string& contentType = "text/xml; charset=utf-8") {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// A data service on loopback answering each request with what `answer` returns (a whole HTTP
// reply), with APP_HOST pointed at it.
class DataServiceStub {
 public:
  using Answer = std::function<std::string(const veltrano::test::SeenRequest&)>;
  explicit DataServiceStub(Answer answer)
      : server_([answer](const veltrano::test::SeenRequest& r, veltrano::test::RawConnection& c) { c.send(answer(r)); }),
        host_("VELTRANO_APP_HOST", "127.0.0.1:" + std::to_string(server_.port())) {}
  int port() const { return server_.port(); }
  std::string url(std::string_view path) const { return server_.url(path); }
  std::vector<veltrano::test::SeenRequest> requests() const { return server_.requests(); }

 private:
  veltrano::test::RawHttpServer server_;
  veltrano::test::ScopedEnv host_;
};

// A rowset reply of `rows` records (ID adInteger, NAME adVarWChar 50 holding "이름 n").
inline std::string rowsetXml(int rows) {
  auto rs = veltrano::ado::Recordset::create();
  rs->Fields().Append("ID", veltrano::ado::adInteger);
  rs->Fields().Append("NAME", veltrano::ado::adVarWChar, 50);
  rs->Open();
  for (int i = 1; i <= rows; ++i) {
    rs->AddNew();
    rs->Fields(0).setValue(veltrano::Variant(std::int32_t{i}));
    rs->Fields(1).setValue(veltrano::Variant("이름 " + std::to_string(i)));
    rs->Update();
  }
  return rs->SaveXml();
}

}  // namespace datalib_test
