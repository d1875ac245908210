#pragma once
// An update site for the run tests: the reference server (server/veltrano-server) on a
// loopback port of its own with a data folder of the test's, the update catalogue in it
// (qz_product, qz_files) with the files it lists, a private registry store, and folders for
// the updater and the products. Rows are added with the server running; it opens its
// databases per request.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace meridox::testing {

// veltrano-server --listen 127.0.0.1:0 --data DIR, stopped when the object goes.
class ReferenceServer {
 public:
  explicit ReferenceServer(const std::filesystem::path& dataDir);
  ~ReferenceServer();
  ReferenceServer(const ReferenceServer&) = delete;
  ReferenceServer& operator=(const ReferenceServer&) = delete;
  // "127.0.0.1:PORT"
  const std::string& host() const { return host_; }
  // Ends the server process at once (SIGKILL), as a crash or power loss would.
  void killNow();

 private:
  std::FILE* pipe_ = nullptr;
  int pid_ = -1;
  std::string host_;
};

struct ServedFile {
  std::string productcode;
  std::string productkey;
  std::string filename;
  std::string version;
  std::string addreg = "0";
  std::string memo;
  std::string downloadpath = "{APPPATH}\\";
  // Where the file lies below the server's files/ folder; "" puts it at FILES/<key>/<name>.
  std::string sourcepath;
  // Another server ("127.0.0.1:PORT") to fetch the file from instead of the reference server.
  std::string serverHost;
};

class UpdateSite {
 public:
  UpdateSite();
  ~UpdateSite();

  const std::filesystem::path& root() const { return root_.path(); }
  std::filesystem::path programFolder() const { return root() / "program"; }
  std::filesystem::path appFolder(const std::string& productKey) const { return root() / "apps" / productKey; }
  const std::string& host() const { return server_->host(); }
  // A second reference server on the same data folder (files and catalogue), for a test to
  // serve files from and to kill.
  std::unique_ptr<ReferenceServer> secondServer() const;

  void product(const std::string& code, const std::string& key, const std::string& name);
  // Lists a file in qz_files and, unless `content` is null, serves it.
  void file(const ServedFile& f, const std::string* content);
  void file(const ServedFile& f, const std::string& content) { file(f, &content); }
  // Runs SQL on the update database.
  void sql(const std::string& statements);

  // The product installed in appFolder(key) (or `folder`), as its own set-up records it.
  void install(const std::string& code, const std::string& folder);
  void install(const std::string& code) { install(code, appFolder(code).string()); }
  // Version recorded for a file of a product.
  std::string recorded(const std::string& productKey, const std::string& filename) const;
  void record(const std::string& productKey, const std::string& filename, const std::string& version);

  // A shell script at `path` that appends its name and arguments to `record` ("name args").
  static void recorder(const std::filesystem::path& path, const std::filesystem::path& record);

 private:
  veltrano::test::TempDir root_;
  veltrano::test::ScopedRegistry registry_;
  std::unique_ptr<ReferenceServer> server_;
  std::unique_ptr<veltrano::test::ScopedEnv> hostEnv_;
};

std::string quoted(const std::string& text);  // SQL literal

}  // namespace meridox::testing
