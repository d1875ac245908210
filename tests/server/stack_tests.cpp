// The stack of server/deploy/run-stack: nginx (the Debian package, started by the script in a
// private prefix) in front of two veltrano-server instances on the sample data, on SQLite.
// The instances resolve file paths and answer with X-Accel-Redirect; nginx sends the files.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <filesystem>
#include <memory>

#include "platform/ado/recordset.h"
#include "platform/text/ansi.h"
#include "server_fixture.h"
#include "support/site_stack.h"

using namespace veltrano::test;
namespace ado = veltrano::ado;
namespace fs = std::filesystem;
namespace text = veltrano::text;

namespace {

class StackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    makeSampleData(dir_.path(), "127.0.0.1:1");  // the catalogue's addresses are not used here
    writeFile(dir_ / "secret.txt", "outside the files folder");
    stack_ = std::make_unique<SiteStack>(SiteStack::Options{.data = dir_.path()});
    ASSERT_TRUE(stack_->started()) << stack_->output();
  }
  int port() const { return stack_->port(); }
  fs::path files() const { return dir_.path() / "files"; }
  httplib::Result post(const std::string& path, const std::string& body) {
    httplib::Client client("127.0.0.1", port());
    client.set_read_timeout(20);
    return client.Post(path.c_str(), body, "application/x-www-form-urlencoded");
  }

  TempDir dir_;
  std::unique_ptr<SiteStack> stack_;
};

}  // namespace

TEST_F(StackTest, FilesAreSentByNginxWholeAndByRangeAfterTheInstanceFoundThem) {
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  writeFile(files() / "FILES" / "TARVIC" / "Big File.bin", content);

  // A Windows-style path in other letters and separators than on disk.
  const RawReply whole = rawGet(port(), "/files\\tarvic\\BIG%20FILE.BIN");
  EXPECT_EQ(whole.status, 200) << whole.head;
  EXPECT_EQ(whole.header("Server"), "nginx");
  EXPECT_EQ(whole.header("X-Accel-Redirect"), "");  // never shown to the client
  EXPECT_EQ(whole.header("Content-Type"), "application/octet-stream");
  EXPECT_TRUE(whole.body == content);

  const RawReply part = rawGet(port(), "/FILES/TARVIC/BIG%20FILE.BIN", "Range: bytes=65530-65545\r\n");
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.header("Content-Range"), "bytes 65530-65545/300000");
  EXPECT_TRUE(part.body == content.substr(65530, 16));
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC/BIG%20FILE.BIN", "Range: bytes=400000-\r\n").status, 416);
  // Several ranges: the whole file, as the server alone answers them.
  const RawReply several = rawGet(port(), "/FILES/TARVIC/BIG%20FILE.BIN", "Range: bytes=0-1,5-6\r\n");
  EXPECT_EQ(several.status, 200);
  EXPECT_EQ(several.body.size(), content.size());

  const RawReply head = rawGet(port(), "/FILES/TARVIC/README.TXT", "", "HEAD");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.header("Content-Type"), "text/plain");
  EXPECT_EQ(head.header("Content-Length"), std::to_string(fs::file_size(files() / "FILES" / "TARVIC" / "README.TXT")));
  EXPECT_TRUE(head.body.empty());

  // A name with bytes the redirect must encode.
  writeFile(files() / "FILES" / "설명 #1?%.txt", "encoded");
  EXPECT_EQ(rawGet(port(), "/FILES/%EC%84%A4%EB%AA%85%20%231%3F%25.TXT").body, "encoded");

  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC/NOTTHERE.EXE").status, 404);
  EXPECT_EQ(rawGet(port(), "/FILES/TARVIC").status, 404);
  // The internal location cannot be asked for from outside.
  EXPECT_EQ(rawGet(port(), "/_veltrano_files/FILES/TARVIC/README.TXT").status, 404);
}

TEST_F(StackTest, NothingOutsideTheFilesFolderIsSent) {
  fs::create_symlink(dir_ / "secret.txt", files() / "FILES" / "link.txt");
  fs::create_directory_symlink(dir_.path(), files() / "up");
  fs::create_symlink(dir_ / "db" / "qz_update.sqlite", files() / "db.bin");
  for (const char* target :
       {"/FILES/LINK.TXT", "/up/secret.txt", "/db.bin", "/../secret.txt", "/FILES/../../secret.txt",
        "/FILES/%2e%2e/%2E%2E/secret.txt", "/..%2fsecret.txt", "/..%5csecret.txt", "/..\\secret.txt",
        "/FILES/..%5c..%5cdb%5cqz_update.sqlite"}) {
    const RawReply r = rawGet(port(), target);
    EXPECT_TRUE(r.status == 403 || r.status == 400 || r.status == 404) << target << "\n" << r.head;
    EXPECT_EQ(r.body.find("outside the files folder"), std::string::npos) << target;
    EXPECT_EQ(r.body.find("SQLite format"), std::string::npos) << target;
  }
  // A link that stays inside is resolved by the instance, and nginx sends the real file.
  fs::create_symlink(files() / "FILES" / "TARVIC" / "README.TXT", files() / "inside.txt");
  EXPECT_EQ(rawGet(port(), "/INSIDE.TXT").body, readFile(files() / "FILES" / "TARVIC" / "README.TXT"));
}

// nginx's own wall: an instance that named a path through a symbolic link (as a link planted
// after its lookup would make it) gets nothing from outside sent. The instance here is a
// stand-in that redirects every path as it comes, resolving nothing.
TEST(StackFront, NginxFollowsNoLinkAnInstanceNames) {
  TempDir dir;
  fs::create_directories(dir / "files" / "FILES");
  writeFile(dir / "files" / "FILES" / "real.txt", "inside");
  writeFile(dir / "secret.txt", "outside the files folder");
  fs::create_symlink(dir / "secret.txt", dir / "files" / "FILES" / "link.txt");
  fs::create_directory_symlink(dir.path(), dir / "files" / "up");
  writeFile(dir / "blind-instance", R"(#!/usr/bin/env python3
import http.server, sys
prefix = sys.argv[sys.argv.index("--accel-redirect") + 1]
class Redirect(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        self.send_response(200)
        self.send_header("X-Accel-Redirect", prefix + self.path.lstrip("/"))
        self.send_header("Content-Length", "0")
        self.end_headers()
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Redirect)
print("listening on 127.0.0.1:%d" % server.server_port, flush=True)
server.serve_forever()
)");
  fs::permissions(dir / "blind-instance", fs::perms::owner_all);
  SiteStack stack({.data = dir.path(), .instances = 1, .server = (dir / "blind-instance").string()});
  ASSERT_TRUE(stack.started()) << stack.output();
  EXPECT_EQ(rawGet(stack.port(), "/FILES/real.txt").body, "inside");
  for (const char* target : {"/FILES/link.txt", "/up/secret.txt"}) {
    const RawReply r = rawGet(stack.port(), target);
    EXPECT_TRUE(r.status == 403 || r.status == 404) << target << "\n" << r.head;  // a link as a folder: 404
    EXPECT_EQ(r.body.find("outside"), std::string::npos) << target;
  }
}

TEST_F(StackTest, QueryAndDataServicesAreProxied) {
  auto r = post("/client/mysqlservice.asp", queryForm("select productname from qz_product order by productcode", "qz_update"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_NE(text::fromAnsi(r->body).find("타르빅 화물관리"), std::string::npos) << text::fromAnsi(r->body);

  ado::Recordset request;
  request.Fields().Append("SQL", ado::adVarChar, 65534);
  request.Fields().Append("DATABASE", ado::adVarChar, 65534);
  request.Open();
  request.AddNew();
  request.Fields("SQL").setValue(veltrano::Variant("select title from document where docno = 1"));
  request.Fields("DATABASE").setValue(veltrano::Variant("tarvic"));
  request.Update();
  r = post("/Database/ORVEX/", request.SaveXml());
  ASSERT_TRUE(r);
  ado::Recordset doc;
  ASSERT_TRUE(doc.loadXml(r->body)) << r->body;
  EXPECT_EQ(doc.Fields(0).Value(), veltrano::Variant("운송 약관"));

  // nginx takes bodies (here 1.2 MB of keyed hex) up to the instances' own limit (16 MiB)
  // and refuses larger ones before the instances see them.
  const std::string padded = queryForm("select '" + std::string(600000, 'x') + "' as v from qz_product where 0", "qz_update");
  r = post("/client/mysqlservice.asp", padded);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(text::fromAnsi(r->body).find("[에러번호]"), std::string::npos) << r->body.substr(0, 200);
  const RawReply tooLarge = rawRequest(port(), "POST /client/mysqlservice.asp HTTP/1.1\r\nHost: x\r\n"
                                               "Content-Length: 16777217\r\n\r\n");
  EXPECT_EQ(tooLarge.status, 413);
}

TEST_F(StackTest, SigtermOrTheEndOfOneProcessStopsAllItStarted) {
  std::vector<pid_t> started = stack_->descendants();
  // nginx (master and workers) and the two instances at least.
  ASSERT_GE(started.size(), 4u) << stack_->output();
  EXPECT_EQ(stack_->stop(SIGTERM), 143);
  for (pid_t pid : started) EXPECT_TRUE(waitUntilGone(pid)) << pid;

  // One instance ending by itself takes the rest of the stack down with it.
  SiteStack again(SiteStack::Options{.data = dir_.path()});
  ASSERT_TRUE(again.started()) << again.output();
  started = again.descendants();
  ASSERT_GE(started.size(), 4u);
  for (pid_t pid : started) {
    if (readFile("/proc/" + std::to_string(pid) + "/comm") == "veltrano-server\n") {
      ::kill(pid, SIGKILL);
      break;
    }
  }
  EXPECT_EQ(again.stop(0), 1);  // signal 0: only waits
  for (pid_t pid : started) EXPECT_TRUE(waitUntilGone(pid)) << pid;
  EXPECT_NE(again.output().find("stopping the rest"), std::string::npos) << again.output();
}
