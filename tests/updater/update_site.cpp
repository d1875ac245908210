#include "update_site.h"

#include <signal.h>
#include <sys/wait.h>

#include <stdexcept>

#include "platform/registry/registry.h"
#include "updater/cls_sysreg.h"

namespace meridox::testing {

namespace stdfs = std::filesystem;
namespace test = veltrano::test;

namespace {

std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

cls_SysREg key(const std::string& path, const std::string& name) {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath(path);
  reg.KeyName(name);
  return reg;
}

constexpr const char* kSchema = R"(
create table qz_product (productcode text primary key, productkey text not null, productname text not null,
  version text not null default '', description text not null default '', sortorder integer not null default 0);
create table qz_files (productcode text not null, filename text not null, sourcepath text not null,
  downloadpath text not null, addreg text not null default '0', version text not null,
  memo text not null default '', productkey text not null, primary key (productkey, filename));
)";

}  // namespace

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

ReferenceServer::ReferenceServer(const stdfs::path& dataDir) {
  // The server's own messages go to a file beside its data, and into the error when it fails.
  const stdfs::path log = dataDir / "server.log";
  const std::string command = "sh -c 'echo $$; exec \"$0\" --listen 127.0.0.1:0 --data \"$1\" 2>\"$1/server.log\"' " +
                              shellQuoted(test::builtProgram("server/veltrano-server").string()) + " " +
                              shellQuoted(dataDir.string());
  pipe_ = popen(command.c_str(), "r");
  if (!pipe_) throw std::runtime_error("cannot start the reference server");
  char line[256];
  if (std::fgets(line, sizeof line, pipe_)) pid_ = std::atoi(line);
  const std::string prefix = "listening on ";
  if (!std::fgets(line, sizeof line, pipe_) || std::string(line).rfind(prefix, 0) != 0) {
    if (pid_ > 0) kill(pid_, SIGTERM);
    pclose(pipe_);
    throw std::runtime_error("the reference server did not start: " + test::readFile(log));
  }
  std::string text(line);
  host_ = text.substr(prefix.size());
  while (!host_.empty() && (host_.back() == '\n' || host_.back() == '\r')) host_.pop_back();
}

ReferenceServer::~ReferenceServer() {
  if (pid_ > 0) kill(pid_, SIGTERM);
  if (pipe_) pclose(pipe_);
}

void ReferenceServer::killNow() {
  if (pid_ > 0) kill(pid_, SIGKILL);
  pid_ = -1;
}

std::unique_ptr<ReferenceServer> UpdateSite::secondServer() const {
  return std::make_unique<ReferenceServer>(root() / "data");
}

UpdateSite::UpdateSite() {
  stdfs::create_directories(root() / "data" / "db");
  stdfs::create_directories(root() / "data" / "files");
  stdfs::create_directories(programFolder());
  sql(kSchema);
  server_ = std::make_unique<ReferenceServer>(root() / "data");
  hostEnv_ = std::make_unique<test::ScopedEnv>("VELTRANO_QUERY_HOST", server_->host());
}

UpdateSite::~UpdateSite() = default;

void UpdateSite::sql(const std::string& statements) {
  const stdfs::path script = root() / "statements.sql";
  test::writeFile(script, statements);
  const auto r = test::run("sqlite3 -bail " + shellQuoted((root() / "data" / "db" / "qz_update.sqlite").string()) +
                           " < " + shellQuoted(script.string()) + " 2>&1");
  if (r.exitCode != 0) throw std::runtime_error("sqlite3: " + r.out);
}

void UpdateSite::product(const std::string& code, const std::string& key, const std::string& name) {
  sql("insert into qz_product values(" + quoted(code) + "," + quoted(key) + "," + quoted(name) + ",'','',0);");
}

void UpdateSite::file(const ServedFile& f, const std::string* content) {
  const std::string folder = f.sourcepath.empty() ? "FILES/" + f.productkey + "/" : f.sourcepath;
  sql("insert into qz_files values(" + quoted(f.productcode) + "," + quoted(f.filename) + "," +
      quoted((f.serverHost.empty() ? host() : f.serverHost) + "/" + folder) + "," + quoted(f.downloadpath) + "," + quoted(f.addreg) + "," +
      quoted(f.version) + "," + quoted(f.memo) + "," + quoted(f.productkey) + ");");
  if (content) {
    const stdfs::path at = root() / "data" / "files" / folder / f.filename;
    stdfs::create_directories(at.parent_path());
    test::writeFile(at, *content);
  }
}

void UpdateSite::install(const std::string& code, const std::string& folder) {
  if (!folder.empty()) stdfs::create_directories(folder);
  cls_SysREg reg = key("SOFTWARE\\VELTRANO\\COMMON", "Installed");
  reg.KeyValue(code);
  reg.SetRegistry(folder);
}

std::string UpdateSite::recorded(const std::string& productKey, const std::string& filename) const {
  cls_SysREg reg = key("SOFTWARE\\VELTRANO\\" + productKey, "INSTALL FILES");
  reg.KeyValue(filename);
  return reg.GetRegistry();
}

void UpdateSite::record(const std::string& productKey, const std::string& filename, const std::string& version) {
  cls_SysREg reg = key("SOFTWARE\\VELTRANO\\" + productKey, "Install Files");
  reg.KeyValue(filename);
  reg.SetRegistry(version);
}

void UpdateSite::recorder(const stdfs::path& path, const stdfs::path& record) {
  stdfs::create_directories(path.parent_path());
  test::writeFile(path, "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> " + shellQuoted(record.string()) + "\n");
  stdfs::permissions(path, stdfs::perms::owner_all);
}

}  // namespace meridox::testing
