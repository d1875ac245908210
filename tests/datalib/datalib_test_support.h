#pragma once
// Helpers of the data library's tests: a transaction monitor in the test process, a stand-in
// data service on loopback, and a rowset reply.

#include <functional>
#include <string>
#include <vector>

#include "datalib_fixture.h"
#include "platform/ado/recordset.h"
#include "support/http_test_server.h"
#include "support/test_support.h"

namespace datalib_test {

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
