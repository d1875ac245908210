// The download control DN against file servers on 127.0.0.1.

#include "updater/download_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "platform/fs/fs.h"
#include "platform/http/connection_state.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/ui/scripted_ui.h"
#include "support/http_test_server.h"
#include "support/test_support.h"

namespace meridox {
namespace {

namespace ui = veltrano::ui;
namespace vt = veltrano::test;
using vt::FileServer;
using vt::RawConnection;
using vt::RawHttpServer;
using vt::SeenRequest;

// Records every event as "Name:argument"; `hook` runs after each, for handlers that act.
class Recorder : public DNEvents {
 public:
  std::vector<std::string> log;
  std::function<void(const std::string&)> hook;

  void DLComplete() override { add("DLComplete"); }
  void DLError(std::string& s) override { add("DLError:" + s); }
  void DLECode(std::int32_t& c) override { add("DLECode:" + std::to_string(c)); }
  void RecievedBytes(std::int32_t& n) override { add("RecievedBytes:" + std::to_string(n)); }
  void Percent(std::int32_t& p) override { add("Percent:" + std::to_string(p)); }
  void StatusChange(std::string& s) override { add("StatusChange:" + s); }
  void Rate(std::string& s) override { add("Rate:" + s); }
  void TimeLeft(std::string& s) override { add("TimeLeft:" + s); }
  void ConnectionState(std::string& s) override { add("ConnectionState:" + s); }

  // The entries of one kind, arguments only.
  std::vector<std::string> of(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& e : log)
      if (e.rfind(name + ":", 0) == 0) out.push_back(e.substr(name.size() + 1));
    return out;
  }
  bool has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
  // The entries from the first one equal to `from` on.
  std::vector<std::string> from(const std::string& first) const {
    auto it = std::find(log.begin(), log.end(), first);
    return std::vector<std::string>(it, log.end());
  }

 private:
  void add(std::string e) {
    log.push_back(e);
    if (hook) hook(e);
  }
};

class DNTest : public ::testing::Test {
 protected:
  DNTest() : driveC_("VELTRANO_DRIVE_C", drive_.path().string()) {
    std::filesystem::create_directory(drive_ / "dl");
    dn_.InitProperties();
    dn_.setEvents(&events_);
  }
  ~DNTest() override { veltrano::fs::clearFaults(); }

  // The download folder: C:\dl on the folder that stands for drive C: on Linux; on Windows,
  // where C: is the machine's own drive, the same folder under its real name.
#ifdef _WIN32
  std::string dl() const { return (drive_ / "dl").string(); }
#else
  std::string dl() const { return "C:\\dl"; }
#endif
  std::string local(const std::string& name) const { return dl() + "\\" + name; }
  std::filesystem::path native(const std::string& name) const { return drive_ / "dl" / name; }
  std::string onDisk(const std::string& name) const { return vt::readFile(native(name)); }

  // Header query then full transfer into C:\dl\<name>.
  void download(const std::string& url, const std::string& name) {
    dn_.setUrl(url);
    dn_.setSaveLocation(local(name));
    dn_.GetFileInformation();
    dn_.DownLoad();
  }

  vt::TempDir drive_;
  vt::ScopedEnv driveC_;
  ui::ScriptedUi ui_;
  ui::ScopedUi scopedUi_{ui_};
  veltrano::ManualClock clock_;
  veltrano::ScopedClock scopedClock_{clock_};
  veltrano::RecordingSite site_;
  DN dn_{&site_};
  Recorder events_;
};

RawHttpServer::Handler reply(std::string bytes) {
  return [bytes](const SeenRequest&, RawConnection& c) { c.send(bytes); };
}

const std::vector<std::string> kTransferFailed = {"StatusChange:Download Aborted Due To Error In Download!",
                                                  "DLECode:1"};

// --- Properties, persistence, size ---------------------------------------------------------

TEST_F(DNTest, Properties_NewControlDefaults) {
  DN fresh;
  EXPECT_EQ(fresh.CHUNK(), 0);  // members start empty; InitProperties sets the defaults
  fresh.InitProperties();
  EXPECT_EQ(fresh.CHUNK(), 512);
  EXPECT_EQ(fresh.Url(), "");
  EXPECT_EQ(fresh.SaveLocation(), "");
  EXPECT_FALSE(fresh.KeepType() || fresh.OnlineCheck() || fresh.PromptOverwrite());
  EXPECT_FALSE(fresh.InDL() || fresh.AResume() || fresh.CPause() || fresh.CCancel() || fresh.Connected() ||
               fresh.FileExists());
  EXPECT_EQ(fresh.FileSize(), 0);
  EXPECT_EQ(fresh.ROLLBACK(), 0);
}

TEST_F(DNTest, Properties_EveryLetNotifiesByNameAndStoresUnchecked) {
  dn_.setROLLBACK(77);
  dn_.setPromptOverwrite(true);
  dn_.setOnlineCheck(true);
  dn_.setKeepType(true);
  dn_.setUrl("");
  dn_.setCHUNK(-5);
  dn_.setSaveLocation("");
  EXPECT_EQ(site_.changes(), (std::vector<std::string>{"ROLLBACK", "PromptOverwrite", "OnlineCheck", "KeepType",
                                                       "Url", "CHUNK", "SaveLocation"}));
  EXPECT_EQ(dn_.ROLLBACK(), 77);
  EXPECT_EQ(dn_.CHUNK(), -5);
  EXPECT_TRUE(dn_.PromptOverwrite() && dn_.OnlineCheck() && dn_.KeepType());
}

TEST_F(DNTest, Persistence_ReadsAndWritesTheSixKeysInOrderWithDefaults) {
  using Access = veltrano::PropertyBag::Access;
  const std::vector<std::string> order = {"URL", "CHUNK", "SaveLocation", "KeepType", "OnlineCheck", "PromptOverwrite"};

  veltrano::PropertyBag empty;
  DN fromEmpty;
  fromEmpty.ReadProperties(empty);
  EXPECT_EQ(fromEmpty.CHUNK(), 512);
  EXPECT_EQ(fromEmpty.Url(), "");
  ASSERT_EQ(empty.log().size(), 6u);
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(empty.log()[i], (Access{Access::Read, order[i]}));

  // Defaults are not stored; ROLLBACK is never written.
  veltrano::PropertyBag defaults;
  fromEmpty.setROLLBACK(9);
  fromEmpty.WriteProperties(defaults);
  EXPECT_TRUE(defaults.values().empty());
  ASSERT_EQ(defaults.log().size(), 6u);
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(defaults.log()[i], (Access{Access::Write, order[i]}));

  dn_.setUrl("http://h/f.exe");
  dn_.setCHUNK(4096);
  dn_.setSaveLocation("C:\\x\\f.exe");
  dn_.setKeepType(true);
  dn_.setOnlineCheck(true);
  dn_.setPromptOverwrite(true);
  veltrano::PropertyBag bag;
  dn_.WriteProperties(bag);
  EXPECT_EQ(bag.values().at("URL"), veltrano::Variant("http://h/f.exe"));
  EXPECT_EQ(bag.values().at("CHUNK"), veltrano::Variant(std::int32_t{4096}));
  EXPECT_FALSE(bag.contains("Url") || bag.contains("ROLLBACK"));
  DN copy;
  copy.ReadProperties(bag);
  EXPECT_EQ(copy.Url(), "http://h/f.exe");
  EXPECT_EQ(copy.CHUNK(), 4096);
  EXPECT_EQ(copy.SaveLocation(), "C:\\x\\f.exe");
  EXPECT_TRUE(copy.KeepType() && copy.OnlineCheck() && copy.PromptOverwrite());
}

TEST_F(DNTest, Resize_KeepsTheFixedSize) {
  for (auto [w, h] : {std::pair{1000, 200}, std::pair{0, 0}, std::pair{480, 9999}}) {
    dn_.setSize(w, h);
    EXPECT_EQ(dn_.Width(), 480);
    EXPECT_EQ(dn_.Height(), 480);
  }
}

TEST_F(DNTest, PauseAndCancel_FlagsAndTheirStatusTexts) {
  dn_.Pause(true);
  EXPECT_TRUE(dn_.CPause());
  EXPECT_TRUE(events_.log.empty());
  bool off = false;
  dn_.Pause(off);
  EXPECT_FALSE(dn_.CPause());
  dn_.Cancel();
  EXPECT_TRUE(dn_.CCancel());
  EXPECT_EQ(events_.log, (std::vector<std::string>{"StatusChange:Unpausing", "StatusChange:Cancelling.."}));
}

// --- Texts -----------------------------------------------------------------------------------

TEST(DNTexts, RateText) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0, "0 Bytes/S"},          {512.4, "512 Bytes/S"},   {512.5, "512 Bytes/S"},     {513.5, "514 Bytes/S"},
      {1023, "1023 Bytes/S"},    {1023.5, ""},              {1024, "1 KB/S"},           {1536, "1.5 KB/S"},
      {2048, "2 KB/S"},          {1200, "1.17 KB/S"},       {1048575, "1024 KB/S"},     {1048576, ""},
      {2000000, ""},             {-1, ""},
  };
  for (const auto& [rate, text] : cases) EXPECT_EQ(DN::RateText(rate), text) << rate;
}

TEST(DNTexts, TimeLeftText) {
  const std::vector<std::pair<float, std::string>> cases = {
      {0, "0 sec"},          {42, "42 sec"},         {59, "59 sec"},         {1.5f, "2 sec"},
      {2.5f, "2 sec"},       {60, "1 min 0 sec"},    {125, "2 min 5 sec"},   {3599, "59 min 59 sec"},
      {119.6f, "1 min 0 sec"}, {3600, "1 hr 0 min"}, {3725, "1 hr 2 min"},   {59.5f, "0 hr 1 min"},
      {-5, "-1 hr 0 min"},   {90000, "25 hr 0 min"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(DN::TimeLeftText(seconds), text) << seconds;
}

TEST(DNTexts, KeepTypeFileName) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"http://h/files/setup.exe", "C:\\tmp\\setup.tmp", "C:\\tmp\\setup.exe"},
      {"http://h/a.zip", "C:\\d\\a.tmp", "C:\\d\\a.zip"},
      {"http://h/data.js", "C:\\d\\data.html", "C:\\d\\data.js"},
      // No dot among the last six characters of the address or the path: kept unchanged.
      {"http://h/README", "C:\\d\\a.tmp", "C:\\d\\a.tmp"},
      {"http://h/a.zip", "C:\\d\\noextension", "C:\\d\\noextension"},
      // A dot of a folder name is not an extension.
      {"http://h/a.zip", "C:\\d.x\\f", "C:\\d.x\\f"},
      {"http://h.kr/f", "C:\\d\\a.tmp", "C:\\d\\a.tmp"},
      // Shorter than six characters.
      {"a.exe", "b.tmp", "b.exe"},
      {"", "", ""},
      {"http://h/자료.dat", "C:\\d\\자료.tmp", "C:\\d\\자료.dat"},
  };
  for (const auto& [address, path, expected] : cases)
    EXPECT_EQ(DN::KeepTypeFileName(address, path), expected) << address << " | " << path;
}

// --- Header query ----------------------------------------------------------------------------

TEST_F(DNTest, GetFileInformation_404ReportsNotFound) {
  RawHttpServer server(reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"));
  dn_.setUrl(server.url("/missing.exe"));
  dn_.GetFileInformation();
  EXPECT_EQ(events_.log, (std::vector<std::string>{"StatusChange:Initiating Connection.",
                                                   "StatusChange:Connection Accepted, Retrieving File Information.",
                                                   "DLError:File Not Found!", "StatusChange:File Not Found!",
                                                   "DLECode:2"}));
  EXPECT_FALSE(dn_.FileExists());
  EXPECT_EQ(dn_.FileSize(), 0);
}

TEST_F(DNTest, GetFileInformation_403And401LeaveFileExistsAndClearResume) {
  FileServer files;
  files.addFile("/f", "abc");
  dn_.setUrl(files.url("/f"));
  dn_.GetFileInformation();
  ASSERT_TRUE(dn_.AResume());

  RawHttpServer forbidden(reply("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
  events_.log.clear();
  dn_.setUrl(forbidden.url("/f"));
  dn_.GetFileInformation();
  EXPECT_EQ(events_.from("StatusChange:Access Denied, Download Terminated!"),
            (std::vector<std::string>{"StatusChange:Access Denied, Download Terminated!", "DLECode:403",
                                      "DLError:Access Denied!"}));
  EXPECT_TRUE(dn_.FileExists());
  EXPECT_EQ(dn_.FileSize(), 0);
  EXPECT_FALSE(dn_.AResume());
  EXPECT_EQ(dn_.AResume(), dn_.ResumeSupported());

  RawHttpServer unauthorized(reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"));
  events_.log.clear();
  dn_.setUrl(unauthorized.url("/f"));
  dn_.GetFileInformation();
  EXPECT_EQ(events_.from("StatusChange:Unauthorized Access, Download Terminated!"),
            (std::vector<std::string>{"StatusChange:Unauthorized Access, Download Terminated!", "DLECode:401",
                                      "DLError:Unauthorized Access!"}));
  EXPECT_TRUE(dn_.FileExists());
  EXPECT_EQ(dn_.FileSize(), 0);
}

TEST_F(DNTest, GetFileInformation_Http10SetsTheSizeButNotResume) {
  RawHttpServer old(reply("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'x')));
  dn_.setUrl(old.url("/f"));
  dn_.GetFileInformation();
  EXPECT_EQ(dn_.FileSize(), 1000);
  EXPECT_TRUE(dn_.FileExists());
  EXPECT_FALSE(dn_.AResume());
  EXPECT_EQ(events_.log.back(), "StatusChange:Retrieving File Information Complete!");
  EXPECT_FLOAT_EQ(dn_.StartTime(), static_cast<float>(clock_.secondsSinceMidnight() - 1.0));

  // HTTP/1.1 sets the flag; a later HTTP/1.0 reply does not clear it.
  RawHttpServer current(reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789"));
  dn_.setUrl(current.url("/f"));
  dn_.GetFileInformation();
  EXPECT_TRUE(dn_.AResume());
  dn_.setUrl(old.url("/f"));
  dn_.GetFileInformation();
  EXPECT_TRUE(dn_.AResume());
  EXPECT_EQ(dn_.FileSize(), 1000);
}

TEST_F(DNTest, GetFileInformation_500WithALengthIsAFileToDownload) {
  RawHttpServer server(reply("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 11\r\n\r\nserver page"));
  download(server.url("/f"), "page.htm");
  EXPECT_TRUE(dn_.FileExists());
  EXPECT_EQ(dn_.FileSize(), 11);
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("page.htm"), "server page");
}

TEST_F(DNTest, GetFileInformation_MissingLengthOrNoServerReadsAsHeaderError) {
  const std::vector<std::string> headerError = {"DLError:Error Reading File Headers.",
                                                "StatusChange:Error Reading File Headers!", "DLECode:3"};
  RawHttpServer noLength(reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbody"));
  dn_.setUrl(noLength.url("/f"));
  dn_.GetFileInformation();
  EXPECT_EQ(events_.from(headerError[0]), headerError);

  events_.log.clear();
  dn_.setUrl("http://127.0.0.1:" + std::to_string(vt::unusedLoopbackPort()) + "/f");
  dn_.GetFileInformation();
  EXPECT_EQ(events_.from(headerError[0]), headerError);
}

TEST_F(DNTest, GetFileInformation_OnlineCheckWithoutConnectionAborts) {
  veltrano::http::ScopedInterfaceList nics({{"lo", true, true, true}});
  vt::ScopedEnv p1("http_proxy", ""), p2("HTTP_PROXY", "");
  dn_.setOnlineCheck(true);
  dn_.setUrl("http://127.0.0.1:1/never");
  dn_.GetFileInformation();
  ASSERT_EQ(ui_.shown().size(), 1u);
  EXPECT_EQ(ui_.shown()[0].text, "You are not currently connected to the internet!\r\nThe download will be aborted!");
  EXPECT_EQ(ui_.shown()[0].buttons, ui::Buttons::OK);
  EXPECT_EQ(events_.log, (std::vector<std::string>{"DLECode:5", "DLError:No Connection Found!",
                                                   "StatusChange:Download aborted, no connection present!"}));
  EXPECT_FALSE(dn_.Connected());

  // The transfers then stop at the connection rule without a new check.
  events_.log.clear();
  dn_.DownLoad();
  EXPECT_EQ(events_.log, (std::vector<std::string>{"DLECode:5", "DLError:No Connection Found!",
                                                   "StatusChange:Download aborted, no connection present!"}));
}

TEST_F(DNTest, GetFileInformation_OnlineCheckReportsEachKindOfConnection) {
  veltrano::http::ScopedInterfaceList nics({{"lo", true, true, true}, {"eth0", true, false, true}});
  // Upper case first: on Windows the two names are one variable.
  vt::ScopedEnv p2("HTTP_PROXY", ""), p1("http_proxy", "http://proxy:3128");
  vt::ScopedEnv direct("no_proxy", "127.0.0.1");  // the transport honours it like the proxy itself
  FileServer files;
  files.addFile("/f", "abc");
  dn_.setOnlineCheck(true);
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.of("ConnectionState"),
            (std::vector<std::string>{"Connected Via LAN.", "Connected Through A Proxy."}));
  EXPECT_TRUE(dn_.Connected());
  EXPECT_EQ(onDisk("f"), "abc");
}

TEST_F(DNTest, GetFileInformation_CancelDuringTheHeaderWait) {
  RawHttpServer slow([](const SeenRequest&, RawConnection& c) {
    c.pause(300);
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
  });
  dn_.Cancel();  // an old request is cleared at the start
  events_.log.clear();
  bool asked = false;
  ui_.setOnPump([&] {
    if (!asked) {
      asked = true;
      dn_.Cancel();
    }
  });
  dn_.setUrl(slow.url("/f"));
  dn_.GetFileInformation();
  EXPECT_EQ(events_.log, (std::vector<std::string>{"StatusChange:Cancelling..", "StatusChange:Initiating Connection.",
                                                   "StatusChange:Connection Accepted, Retrieving File Information.",
                                                   "DLECode:4", "StatusChange:cancelled."}));
  EXPECT_FALSE(dn_.CCancel());
}

// --- Full transfer -----------------------------------------------------------------------------

TEST_F(DNTest, DownLoad_Chunks512Of1200BytesWithTheEventsOfEachPass) {
  const std::string body = vt::generatedContent(1200);
  FileServer files;
  files.addFile("/pkg/f.dat", body);
  download(files.url("/pkg/f.dat"), "f.dat");

  EXPECT_EQ(onDisk("f.dat"), body);
  // The clock stands still, so every pass sees one second since the header query.
  const std::vector<std::string> pass = {"Rate:", "TimeLeft:", "RecievedBytes:", "Percent:", "StatusChange:"};
  const std::vector<std::string> expected = {
      "StatusChange:Opening " + local("f.dat") + " For DATA Input.",
      "Rate:512 Bytes/S", "TimeLeft:1 sec", "RecievedBytes:512", "Percent:43",
      "StatusChange:Recieving File, Inputting DATA to File.",
      "Rate:1 KB/S", "TimeLeft:0 sec", "RecievedBytes:1024", "Percent:85",
      "StatusChange:Recieving File, Inputting DATA to File.",
      "Rate:1.17 KB/S", "TimeLeft:0 sec", "RecievedBytes:1200", "Percent:100",
      "StatusChange:Recieving File, Inputting DATA to File.",
      "Rate:1.17 KB/S", "TimeLeft:0 sec", "RecievedBytes:1200", "Percent:100",
      "StatusChange:Recieving File, Inputting DATA to File.",
      "DLComplete", "StatusChange:Download Successful!"};
  EXPECT_EQ(events_.from(expected[0]), expected);
  EXPECT_FALSE(dn_.InDL());
  EXPECT_EQ(dn_.BytesReceived(), 1200);
}

TEST_F(DNTest, DownLoad_DLCompleteHandlerStartsTheNextFile) {
  // As the updater's window does: the next file's transfer runs inside the previous DLComplete.
  const std::vector<std::string> bodies = {vt::generatedContent(3000), std::string(700, 'b'), "c3"};
  FileServer files;
  for (std::size_t i = 0; i < bodies.size(); ++i) files.addFile("/f" + std::to_string(i), bodies[i]);
  std::size_t next = 1;
  events_.hook = [&](const std::string& e) {
    if (e == "DLComplete" && next < bodies.size()) {
      const std::size_t i = next++;
      download(files.url("/f" + std::to_string(i)), "f" + std::to_string(i));
    }
  };
  download(files.url("/f0"), "f0");
  for (std::size_t i = 0; i < bodies.size(); ++i) EXPECT_EQ(onDisk("f" + std::to_string(i)), bodies[i]);
  EXPECT_EQ(std::count(events_.log.begin(), events_.log.end(), "DLComplete"), 3);
  EXPECT_EQ(std::count(events_.log.begin(), events_.log.end(), "StatusChange:Download Successful!"), 3);
  EXPECT_EQ(files.requests().size(), 3u);
}

TEST_F(DNTest, DownLoad_OneByteLastChunkEndsTheTransfer) {
  const std::string body = vt::generatedContent(1025);
  FileServer files;
  files.addFile("/f", body);
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.of("RecievedBytes"), (std::vector<std::string>{"512", "1024", "1025"}));
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_TRUE(events_.has("DLComplete"));
}

TEST_F(DNTest, DownLoad_ContentLengthZeroTakesTheFailurePath) {
  FileServer files;
  files.addFile("/empty", "");
  download(files.url("/empty"), "empty");
  EXPECT_EQ(dn_.FileSize(), 0);
  std::vector<std::string> failed = {"DLError:Error Downloading File from : " + files.url("/empty")};
  failed.insert(failed.end(), kTransferFailed.begin(), kTransferFailed.end());
  EXPECT_EQ(events_.from(failed[0]), failed);
  EXPECT_FALSE(events_.has("DLComplete"));
  EXPECT_TRUE(dn_.InDL());
}

TEST_F(DNTest, DownLoad_ReplacesAnExistingFileWithoutAsking) {
  vt::writeFile(native("f"), std::string(5000, 'o'));
  FileServer files;
  files.addFile("/f", "new");
  download(files.url("/f"), "f");
  EXPECT_EQ(onDisk("f"), "new");
  EXPECT_TRUE(ui_.shown().empty());
}

TEST_F(DNTest, DownLoad_LargeChunkSizeAndSmallOnesGiveTheSameFile) {
  const std::string body = vt::generatedContent(300000);
  FileServer files;
  files.addFile("/f", body);
  for (std::int32_t chunk : {65536, 2147483647, 1, 0, -7}) {
    dn_.setCHUNK(chunk);  // below 2 the default 512 is read per pass
    download(files.url("/f"), "f");
    EXPECT_EQ(onDisk("f"), body) << chunk;
    EXPECT_EQ(events_.log.back(), "StatusChange:Download Successful!") << chunk;
  }
}

TEST_F(DNTest, DownLoad_KeepTypeWritesUnderTheExtensionOfTheAddress) {
  FileServer files;
  files.addFile("/a.zip", "PK");
  dn_.setKeepType(true);
  download(files.url("/a.zip"), "a.tmp");
  EXPECT_EQ(onDisk("a.zip"), "PK");
  EXPECT_FALSE(std::filesystem::exists(native("a.tmp")));
}

// --- Overwrite prompt and new-name dialogue --------------------------------------------------

class DNOverwriteTest : public DNTest {
 protected:
  DNOverwriteTest() {
    files_.addFile("/f", "fresh");
    vt::writeFile(native("f"), "old file, longer than the new one");
    dn_.setPromptOverwrite(true);
  }
  void run() { download(files_.url("/f"), "f"); }
  FileServer files_;
};

TEST_F(DNOverwriteTest, YesDeletesAndWrites) {
  ui_.queue("Yes");
  run();
  ASSERT_EQ(ui_.shown().size(), 1u);
  EXPECT_EQ(ui_.shown()[0].text, "Would you like to overwrite the file at: " + local("f") + " ?");
  EXPECT_EQ(ui_.shown()[0].title, "Overwrite?");
  EXPECT_EQ(ui_.shown()[0].buttons, ui::Buttons::YesNo);
  EXPECT_EQ(ui_.shown()[0].icon, ui::Icon::Information);
  EXPECT_EQ(onDisk("f"), "fresh");
}

TEST_F(DNOverwriteTest, NoThenANewNameWritesThereAndKeepsTheOldFile) {
  ui_.queue("No");
  ui_.queue("Input:" + local("g"));
  run();
  ASSERT_EQ(ui_.shown().size(), 2u);
  EXPECT_EQ(ui_.shown()[1].kind, "InputBox");
  EXPECT_EQ(ui_.shown()[1].title, "New File...");
  EXPECT_EQ(ui_.shown()[1].text, "Please type in a new file path and name.\r\nExample: C:\\File2.txt");
  EXPECT_EQ(onDisk("g"), "fresh");
  EXPECT_EQ(onDisk("f"), "old file, longer than the new one");
  EXPECT_TRUE(events_.has("StatusChange:Opening " + local("g") + " For DATA Input."));
}

TEST_F(DNOverwriteTest, EmptyNameIsRefusedAndAskedAgain) {
  ui_.queue("No");
  ui_.queue("Input:");
  ui_.queue("OK");
  ui_.queue("Input:" + local("h"));
  run();
  ASSERT_EQ(ui_.shown().size(), 4u);
  EXPECT_EQ(ui_.shown()[2].text, "You didn't specify a file!");
  EXPECT_EQ(ui_.shown()[2].title, "Error!");
  EXPECT_EQ(ui_.shown()[2].icon, ui::Icon::Exclamation);
  EXPECT_EQ(ui_.shown()[3].kind, "InputBox");
  EXPECT_EQ(onDisk("h"), "fresh");
}

TEST_F(DNOverwriteTest, SamePathTryAgainThenKeepWritesOverInPlaceWithNothingTrailing) {
  ui_.queue("No");
  ui_.queue("Input:" + local("f"));
  ui_.queue("Yes");  // try again
  ui_.queue("Input:" + local("f"));
  ui_.queue("No");  // keep the path
  run();
  ASSERT_EQ(ui_.shown().size(), 5u);
  EXPECT_EQ(ui_.shown()[2].text, "You typed in the same file! Would you like type in a different file?");
  EXPECT_EQ(ui_.shown()[2].title, "Try Again?");
  EXPECT_EQ(ui_.shown()[2].icon, ui::Icon::Critical);
  EXPECT_EQ(onDisk("f"), "fresh");
  EXPECT_TRUE(events_.has("DLComplete"));
}

TEST_F(DNOverwriteTest, UnattendedBoxesEndTheDialogue) {
  // Only the overwrite box is answered (No): the unanswered input box offers the same path, and
  // "Try Again?" takes its default button, No, so the path is kept.
  ui_.queue("No");
  run();
  EXPECT_EQ(onDisk("f"), "fresh");
  EXPECT_EQ(ui_.shown().back().title, "Try Again?");
  EXPECT_EQ(ui_.shown().back().answer, "No");
}

// --- Cancel, pause, failures ---------------------------------------------------------------------

TEST_F(DNTest, Cancel_DuringATransferLeavesTheInstalledFileAsItWas) {
  const std::string body = vt::generatedContent(5000);
  FileServer files;
  files.addFile("/f", body);
  vt::writeFile(native("f"), "installed");
  events_.hook = [&](const std::string& e) {
    if (e == "RecievedBytes:1024") dn_.Cancel();
  };
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.from("RecievedBytes:1024"),
            (std::vector<std::string>{"RecievedBytes:1024", "StatusChange:Cancelling..", "Percent:20",
                                      "StatusChange:Recieving File, Inputting DATA to File.", "DLECode:4",
                                      "StatusChange:Cancelled."}));
  EXPECT_TRUE(dn_.InDL());
  EXPECT_FALSE(dn_.CCancel());
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
}

TEST_F(DNTest, Cancel_BeforeATransferMakesItReturnSilently) {
  FileServer files;
  files.addFile("/f", "abc");
  dn_.setUrl(files.url("/f"));
  dn_.setSaveLocation(local("f"));
  dn_.GetFileInformation();
  dn_.Cancel();
  events_.log.clear();
  dn_.DownLoad();
  dn_.DLResume();
  EXPECT_TRUE(events_.log.empty());
  EXPECT_FALSE(std::filesystem::exists(native("f")));
}

TEST_F(DNTest, Pause_FromAHandlerHoldsTheTransferUntilUnpaused) {
  const std::string body = vt::generatedContent(2000);
  FileServer files;
  files.addFile("/f", body);
  int pausedReports = 0;
  std::string seenWhilePaused;
  events_.hook = [&](const std::string& e) {
    if (e == "RecievedBytes:512") dn_.Pause(true);
    if (e == "StatusChange:Paused." && ++pausedReports == 3) {
      seenWhilePaused = onDisk("f.partial");
      EXPECT_FALSE(std::filesystem::exists(native("f")));  // placed only when complete
      dn_.Pause(false);
    }
  };
  download(files.url("/f"), "f");
  EXPECT_EQ(pausedReports, 3);
  EXPECT_EQ(seenWhilePaused, body.substr(0, 512));  // every byte reported is on disk
  EXPECT_EQ(events_.from("StatusChange:Paused.").at(3), "StatusChange:Unpausing");
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_TRUE(events_.has("DLComplete"));
}

TEST_F(DNTest, Failure_ServerClosingMidBodyLeavesTheInstalledFileAndNoSideFile) {
  const std::string part = vt::generatedContent(1500);
  RawHttpServer server([part](const SeenRequest&, RawConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n" + part);
  });
  vt::writeFile(native("f"), "installed");
  download(server.url("/f"), "f");
  std::vector<std::string> failed = {"DLError:Error Downloading File from : " + server.url("/f")};
  failed.insert(failed.end(), kTransferFailed.begin(), kTransferFailed.end());
  EXPECT_EQ(events_.from(failed[0]), failed);
  EXPECT_FALSE(events_.has("DLComplete"));
  EXPECT_TRUE(dn_.InDL());
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
}

TEST_F(DNTest, Failure_DLErrorHandlerCanRetryAtOnce) {
  const std::string body = vt::generatedContent(3000);
  FileServer files;
  files.addFile("/good", body);
  RawHttpServer broken([](const SeenRequest&, RawConnection& c) {
    c.send("HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + std::string(700, 'x'));
  });
  int retries = 0;
  events_.hook = [&](const std::string& e) {
    if (e.rfind("DLError:", 0) == 0 && retries++ == 0) {
      dn_.setUrl(files.url("/good"));
      dn_.Cancel();
      dn_.GetFileInformation();
      dn_.DownLoad();
    }
  };
  download(broken.url("/f"), "f");
  EXPECT_EQ(retries, 1);
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_TRUE(events_.has("DLComplete"));
}

TEST_F(DNTest, Failure_FileThatCannotBeOpenedOrWritten) {
  FileServer files;
  files.addFile("/f", vt::generatedContent(100000));
  veltrano::fs::injectFault("open", "dl", veltrano::err::kPermissionDenied);
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_FALSE(events_.has("DLComplete"));

  // A full disk leaves the installed file as it was and nothing beside it.
  events_.log.clear();
  vt::writeFile(native("f"), "installed");
  veltrano::fs::injectFault("write", "dl", veltrano::err::kDiskFull);
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_FALSE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));

  events_.log.clear();
  download(files.url("/f"), "bad*name");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
}

TEST_F(DNTest, Placement_RefusedReplacementKeepsTheWholeFileAndPlaceFileFetchesNothing) {
  const std::string body = vt::generatedContent(3000);
  FileServer files;
  files.addFile("/f", body);
  vt::writeFile(native("F"), "in use");
  veltrano::fs::injectFault("rename", "dl/", veltrano::err::kPermissionDenied, 2);
  download(files.url("/f"), "f");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_TRUE(dn_.PlacementPending());
  EXPECT_EQ(onDisk("F"), "in use");
  EXPECT_EQ(onDisk("F.partial"), body);

  dn_.PlaceFile();  // still refused
  EXPECT_TRUE(dn_.PlacementPending());
  events_.log.clear();
  dn_.PlaceFile();
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_FALSE(dn_.PlacementPending());
  // The file keeps the spelling it has on disk; nothing is left beside it.
  EXPECT_EQ(onDisk("F"), body);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(drive_ / "dl")) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"F"});
  EXPECT_EQ(files.requests().size(), 1u);
}

TEST_F(DNTest, Signature_TransferErrorFetchingItIsAnOrdinaryFailureAndTheRetryVerifies) {
  namespace crypto = veltrano::crypto;
  const std::string body = vt::generatedContent(5000);
  const crypto::KeyPair keys = crypto::generateKeyPair();
  crypto::Sha256 sha;
  sha.update(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
  const crypto::Digest digest = sha.finish();
  const std::string sig = crypto::base64Encode(crypto::sign(keys.privateKey, {digest.begin(), digest.end()}));
  std::atomic<int> sigRequests{0};
  RawHttpServer server([&](const SeenRequest& r, RawConnection& c) {
    const std::string reply = r.target == "/f" ? body : sig;
    if (r.target == "/f.sig" && sigRequests++ == 0) return;  // the first closes without a reply
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n" + reply);
  });
  vt::writeFile(native("f"), "installed");
  dn_.setPublicKey(keys.publicKey);
  download(server.url("/f"), "f");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_EQ(dn_.SignatureFailure(), "");
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_EQ(onDisk("f.partial"), body);  // kept whole for the retry

  // The retry verifies the side file without asking for its body again.
  events_.log.clear();
  download(server.url("/f"), "f");
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
  EXPECT_EQ(dn_.VerifiedSignature(), sig);
  const auto seen = server.requests();
  ASSERT_EQ(seen.size(), 4u);  // the file, its .sig, the retry's header query, the .sig again
  EXPECT_EQ(seen[2].header("Range"), "");
  EXPECT_EQ(seen[3].target, "/f.sig");
}

TEST_F(DNTest, Failure_ReplyNotPendingIsNotReadAsAFile) {
  FileServer files;
  files.addFile("/f", vt::generatedContent(2000));
  dn_.setUrl(files.url("/f"));
  dn_.setSaveLocation(local("f"));
  dn_.DownLoad();  // no header query at all
  EXPECT_EQ(events_.log.back(), "DLECode:1");

  // A reply whose reading was cancelled half-way is not read again as a whole file.
  events_.log.clear();
  events_.hook = [&](const std::string& e) {
    if (e == "RecievedBytes:512") dn_.Cancel();
  };
  dn_.GetFileInformation();
  dn_.DownLoad();
  ASSERT_EQ(events_.log.back(), "StatusChange:Cancelled.");
  events_.hook = nullptr;
  dn_.DownLoad();
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_FALSE(events_.has("DLComplete"));
}

// --- Resume ------------------------------------------------------------------------------------

TEST_F(DNTest, DLResume_AppendsTheRestFromTheLengthOnDisk) {
  const std::string body = vt::generatedContent(10000);
  FileServer files;
  files.addFile("/f", body);
  vt::writeFile(native("f"), body.substr(0, 4000));
  dn_.setUrl(files.url("/f"));
  dn_.setSaveLocation(local("f"));
  dn_.GetFileInformation();
  ASSERT_TRUE(dn_.AResume());
  ASSERT_EQ(dn_.FileSize(), 10000);
  dn_.DLResume();

  const auto seen = files.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].header("Range"), "");
  EXPECT_EQ(seen[1].header("Range"), "bytes=4000-");
  const auto received = events_.of("RecievedBytes");
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "4512");
  EXPECT_EQ(received.back(), "10000");
  EXPECT_EQ(events_.of("Percent").front(), "45");
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_EQ(dn_.BytesReceived(), 6000);
}

TEST_F(DNTest, DLResume_MissingFileAndUnsupportedServer) {
  FileServer files;
  files.addFile("/f", "abcdef");
  dn_.setUrl(files.url("/f"));
  dn_.setSaveLocation(local("missing"));
  dn_.GetFileInformation();
  events_.log.clear();
  dn_.DLResume();
  EXPECT_EQ(events_.log, (std::vector<std::string>{"DLError:Resume File Not Found!", "DLECode:6",
                                                   "StatusChange:Resume File Not Found, Aborting Download!"}));

  RawHttpServer old(reply("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nabcdef"));
  DN fresh;
  Recorder rec;
  fresh.InitProperties();
  fresh.setEvents(&rec);
  vt::writeFile(native("part"), "abc");
  fresh.setUrl(old.url("/f"));
  fresh.setSaveLocation(local("part"));
  fresh.GetFileInformation();
  rec.log.clear();
  fresh.DLResume();
  EXPECT_EQ(rec.log, (std::vector<std::string>{"DLError:Resume Not Supported!", "DLECode:7",
                                               "StatusChange:Resume NotSupported, Aborting Download!"}));
  EXPECT_EQ(onDisk("part"), "abc");
}

TEST_F(DNTest, DLResume_ServerIgnoringTheRangeLeavesTheFileAsItWas) {
  const std::string body = vt::generatedContent(6000);
  RawHttpServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 6000\r\n\r\n" + body));
  vt::writeFile(native("f"), body.substr(0, 4000));
  dn_.setUrl(server.url("/f"));
  dn_.setSaveLocation(local("f"));
  dn_.GetFileInformation();
  events_.log.clear();
  dn_.DLResume();
  EXPECT_EQ(server.requests().back().header("Range"), "bytes=4000-");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_FALSE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), body.substr(0, 4000));
}

// --- Continuing side files (with a key) ---------------------------------------------------------

class DNContinueTest : public DNTest {
 protected:
  DNContinueTest() { dn_.setPublicKey(keys_.publicKey); }
  std::string signatureOf(const std::string& content) const {
    namespace crypto = veltrano::crypto;
    crypto::Sha256 sha;
    sha.update(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    const crypto::Digest d = sha.finish();
    return crypto::base64Encode(crypto::sign(keys_.privateKey, {d.begin(), d.end()}));
  }
  std::size_t count(const std::string& entry) const {
    return static_cast<std::size_t>(std::count(events_.log.begin(), events_.log.end(), entry));
  }

  veltrano::crypto::KeyPair keys_ = veltrano::crypto::generateKeyPair();
};

TEST_F(DNContinueTest, SideFileIsContinuedFromItsLengthAndWithoutAKeyStartedAfresh) {
  const std::string body = vt::generatedContent(10000);
  FileServer files;
  files.addFile("/f", body);
  files.addFile("/f.sig", signatureOf(body));
  vt::writeFile(native("f"), "installed");
  vt::writeFile(native("f.partial"), body.substr(0, 4000));
  download(files.url("/f"), "f");
  auto seen = files.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].header("Range"), "bytes=4000-");
  EXPECT_EQ(seen[2].target, "/f.sig");
  EXPECT_EQ(events_.of("RecievedBytes").front(), "4512");
  EXPECT_EQ(events_.of("RecievedBytes").back(), "10000");
  EXPECT_EQ(events_.of("Percent").front(), "45");
  EXPECT_EQ(dn_.BytesReceived(), 6000);
  EXPECT_EQ(events_.log.back(), "StatusChange:Download Successful!");
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));

  // Without a key a side file's bytes are not trusted: the file is fetched whole.
  dn_.setPublicKey(std::nullopt);
  vt::writeFile(native("f"), "installed");
  vt::writeFile(native("f.partial"), body.substr(0, 4000));
  download(files.url("/f"), "f");
  seen = files.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[3].header("Range"), "");
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
}

TEST_F(DNContinueTest, CancelledTransferKeepsWhatItReportedForTheNextToContinue) {
  const std::string body = vt::generatedContent(10000);
  FileServer files;
  files.addFile("/f", body);
  files.addFile("/f.sig", signatureOf(body));
  events_.hook = [&](const std::string& e) {
    if (e == "RecievedBytes:1024") dn_.Cancel();
  };
  download(files.url("/f"), "f");
  ASSERT_EQ(events_.log.back(), "StatusChange:Cancelled.");
  EXPECT_EQ(onDisk("f.partial"), body.substr(0, 1024));

  events_.hook = nullptr;
  download(files.url("/f"), "f");
  EXPECT_EQ(files.requests().at(2).header("Range"), "bytes=1024-");
  EXPECT_EQ(onDisk("f"), body);
}

TEST_F(DNContinueTest, ServerAnsweringTheRangeWithTheWholeFileStartsAfresh) {
  const std::string body = vt::generatedContent(6000);
  const std::string sig = signatureOf(body);
  RawHttpServer server([&](const SeenRequest& r, RawConnection& c) {
    const std::string reply = r.target == "/f" ? body : sig;
    c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n" + reply);
  });
  vt::writeFile(native("f.partial"), std::string(3000, 'x'));
  download(server.url("/f"), "f");
  EXPECT_EQ(server.requests().at(1).header("Range"), "bytes=3000-");
  EXPECT_EQ(events_.of("RecievedBytes").front(), "512");
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), body);
}

TEST_F(DNContinueTest, TamperedSideFileIsFetchedWholeOnceBeforeItFailsForGood) {
  const std::string body = vt::generatedContent(10000);
  std::string tampered = body.substr(0, 4000);
  tampered[100] = static_cast<char>(tampered[100] ^ 1);
  FileServer files;
  files.addFile("/f", body);
  files.addFile("/f.sig", signatureOf(body));
  vt::writeFile(native("f.partial"), tampered);
  download(files.url("/f"), "f");
  auto seen = files.requests();
  ASSERT_EQ(seen.size(), 5u);  // header query, the rest, .sig, the whole file, .sig
  EXPECT_EQ(seen[1].header("Range"), "bytes=4000-");
  EXPECT_EQ(seen[3].target, "/f");
  EXPECT_EQ(seen[3].header("Range"), "");
  EXPECT_EQ(count("StatusChange:Opening " + local("f") + " For DATA Input."), 2u);
  EXPECT_EQ(events_.of("DLECode"), std::vector<std::string>{});
  EXPECT_EQ(events_.log.back(), "StatusChange:Download Successful!");
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));

  // A file whose whole copy does not match either fails for good after that one fetch.
  files.addFile("/f.sig", signatureOf("other bytes"));
  vt::writeFile(native("f"), "installed");
  vt::writeFile(native("f.partial"), body.substr(0, 4000));
  events_.log.clear();
  download(files.url("/f"), "f");
  EXPECT_EQ(files.requests().size(), 10u);
  EXPECT_EQ(events_.log.back(), "DLECode:8");
  EXPECT_EQ(dn_.SignatureFailure(), "서명이 파일과 맞지 않습니다.");
  EXPECT_FALSE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
}

TEST_F(DNContinueTest, FailedTransferKeepsItsSideFileForTheRetryToContinueButAFullDiskKeepsNothing) {
  const std::string body = vt::generatedContent(10000);
  const std::string sig = signatureOf(body);
  // Whole-file replies are cut after 1500 bytes; ranged ones send the rest.
  RawHttpServer server([&](const SeenRequest& r, RawConnection& c) {
    if (r.target == "/f.sig") {
      c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(sig.size()) + "\r\n\r\n" + sig);
      return;
    }
    const std::string range = r.header("Range");
    if (range.empty()) {
      c.send("HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + body.substr(0, 1500));
      return;
    }
    const std::size_t from = std::stoul(range.substr(6));
    c.send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-9999/10000\r\n" +
           "Content-Length: " + std::to_string(10000 - from) + "\r\n\r\n" + body.substr(from));
  });
  std::uintmax_t kept = 0;
  events_.hook = [&](const std::string& e) {
    if (e.rfind("DLError:", 0) != 0 || kept != 0) return;
    kept = std::filesystem::file_size(native("f.partial"));
    dn_.Cancel();
    dn_.GetFileInformation();
    dn_.DownLoad();
  };
  vt::writeFile(native("f"), "installed");
  download(server.url("/f"), "f");
  EXPECT_EQ(kept, 1500u);
  const auto seen = server.requests();
  ASSERT_EQ(seen.size(), 4u);  // the cut transfer, the retry's header query, the rest, .sig
  EXPECT_EQ(seen[2].header("Range"), "bytes=1500-");
  EXPECT_TRUE(events_.has("DLComplete"));
  EXPECT_EQ(onDisk("f"), body);
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));

  events_.hook = nullptr;
  vt::writeFile(native("f"), "installed");
  veltrano::fs::injectFault("write", "dl", veltrano::err::kDiskFull);
  download(server.url("/f"), "f");
  EXPECT_EQ(events_.log.back(), "DLECode:1");
  EXPECT_EQ(onDisk("f"), "installed");
  EXPECT_FALSE(std::filesystem::exists(native("f.partial")));
}

}  // namespace
}  // namespace meridox
