#include "updater/update_window.h"

#include <cmath>

#include "platform/crypto/crypto.h"
#include "platform/deploy/deploy.h"
#include "platform/eventlog/eventlog.h"
#include "platform/fs/fs.h"
#include "platform/fs/side_file.h"
#include "platform/http/url.h"
#include "platform/registry/registry.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "updater/cls_sysreg.h"
#include "updater/mod_hdd.h"
#include "updater/mod_killproc.h"
#include "updater/mod_standard.h"
#include "updater/self_update.h"
#include "updater/shell_start.h"
#include "updater/version_check.h"

namespace meridox {

namespace fs = veltrano::fs;
namespace text = veltrano::text;
namespace ui = veltrano::ui;
using veltrano::ProgramEnd;
using veltrano::RuntimeError;

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kTitle = "업데이트";
// DN's error text for a file the server answered 404 for.
constexpr const char* kFileNotFoundText = "File Not Found!";

// One statement of a procedure whose failing statements are skipped.
template <class F>
void Step(F&& f) {
  try {
    f();
  } catch (const RuntimeError&) {
  }
}

cls_SysREg installedKey() {
  cls_SysREg reg;
  reg.hKey(veltrano::reg::HKEY_CURRENT_USER);
  reg.KeyPath(kInstalledKeyPath);
  reg.KeyName(kInstalledKeyName);
  return reg;
}

bool hasRows(veltrano::ado::Recordset& rs) { return !rs.Eof(); }

// Writes a small text file whole or not at all.
void placeText(const std::string& path, const std::string& content) {
  fs::SideFile file;
  file.create(path);
  file.write(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  file.place();
}

}  // namespace

// The container's side for the two user controls: their names, the form's font; the
// property-changed notices need no answer from this form.
class UpdateWindow::Site : public veltrano::ControlSite {
 public:
  explicit Site(std::string name) : name_(std::move(name)) {}
  void propertyChanged(std::string_view) override {}
  std::string ambientDisplayName() const override { return name_; }
  veltrano::Font ambientFont() const override { return veltrano::Font{"맑은 고딕", 9.0}; }

 private:
  std::string name_;
};

class UpdateWindow::Events : public DNEvents {
 public:
  explicit Events(UpdateWindow& w) : w_(w) {}
  void DLComplete() override { w_.DN_DLComplete(); }
  void DLError(std::string& lpErrorDescription) override { w_.DN_DLError(lpErrorDescription); }
  void RecievedBytes(std::int32_t& lnumBYTES) override { w_.DN_RecievedBytes(lnumBYTES); }
  void Percent(std::int32_t& lPercent) override { w_.DN_Percent(lPercent); }

 private:
  UpdateWindow& w_;
};

UpdateWindow::UpdateWindow(ProgramInfo program)
    : program_(std::move(program)),
      barSite_(std::make_unique<Site>("SP_PB")),
      dnSite_(std::make_unique<Site>("DN")),
      bar_(std::make_unique<ProgressBar>(*barSite_, UpdateForm::kProgressBarRect.width,
                                         UpdateForm::kProgressBarRect.height)),
      dn_(std::make_unique<DN>(dnSite_.get())),
      events_(std::make_unique<Events>(*this)),
      tmrProc_([this] { TMR_PROC_Timer(); }, 500),
      tmrDownload_({}, 0) {
  veltrano::PropertyBag barDesign = veltrano::PropertyBag::fromText(kProgressBarDesign);
  bar_->ReadProperties(barDesign);
  veltrano::PropertyBag dnDesign = veltrano::PropertyBag::fromText(kDnDesign);
  dn_->ReadProperties(dnDesign);
  dn_->setEvents(events_.get());
}

UpdateWindow::~UpdateWindow() { dn_->setEvents(nullptr); }

// --- Load, buttons, close box ------------------------------------------------------------

void UpdateWindow::Form_Load() {
  readmeFiles_.assign(1, std::string());
  readmeCount_ = 1;
  form_.Hide();

  if (IsCopyCommand(program_)) RunCopyMode(program_);
  if (IsDeleteCommand(program_)) RunCleanupMode(program_);

  form_.Show();
  ui::DoEvents();
  ShowStepIcon(form_, 0);
  ShowStatusPicture(form_, 2);

  for (const char* name : kSuitePrograms) KillProcessByName(name);

  cls_SysREg reg = installedKey();
  reg.KeyValue("1");
  reg.SetRegistry(program_.path);

  if (program_.command.empty()) {
    ListInstalledProducts();
    return;
  }
  const std::vector<std::string> items = text::Split(program_.command, ",");
  if (items.size() >= 2) CheckAndDownloadUpdates(items[0]);
}

bool UpdateWindow::Form_QueryUnload(int UnloadMode) { return UnloadMode == vbFormControlMenu; }

void UpdateWindow::Com_Yes_Click() {
  if (inRun_) return;
  if (!form_.LB_SETUPLIST.Caption().empty()) CheckAndDownloadUpdates("");
}

void UpdateWindow::Com_Cancel_Click() { throw ProgramEnd(errorShown_ ? kExitFailed : kExitDone); }

// --- Installed products and catalogue --------------------------------------------------------

veltrano::ado::RecordsetPtr UpdateWindow::openQuery(const std::string& sql) {
  // Taken whatever it holds: a posted statement serves the load's first query only.
  const std::unique_ptr<QueryExchange> posted = std::move(firstQuery_);
  return posted && posted->sql() == sql ? ReadServerQuery(*posted) : OpenServerQuery(sql);
}

void UpdateWindow::ListInstalledProducts() {
  veltrano::ado::RecordsetPtr rs = openQuery(CatalogueSql(""));
  cls_SysREg reg = installedKey();
  // No catalogue (or one that could not be read): reported as the run reports it; the
  // window stays with its first texts and the cancel button.
  if (!rs || rs->State() != veltrano::ado::adStateOpen) {
    errorShown_ = true;
    ui::MsgBox("ERROR OF RDS SERVICE", ui::vbInformation + ui::vbOKOnly, "ERROR");
    return;
  }
  if (hasRows(*rs)) {
    form_.LB_SETUPLIST.Caption("");
    int i = 1;
    std::string list;
    while (!rs->Eof()) {
      reg.KeyValue(text::RemoveNuls(text::Trim(rs->Fields(0).Value().toText())));
      if (!reg.GetRegistry().empty()) {
        list += std::to_string(i) + ". " + text::Trim(rs->Fields(2).Value().toText()) + kCrLf;
        form_.LB_SETUPLIST.Caption(list);
        ++i;
      }
      rs->MoveNext();
    }
  }
  form_.FRM_FLAME.Visible(true);
  form_.LB_SUBMAIN.Caption("Updater Version " + std::to_string(program_.major) + "." +
                           std::to_string(program_.minor) + "." + std::to_string(program_.revision) +
                           " (Product ID : " + GetVolumeSerial() + ")");
  ui::DoEvents();
}

void UpdateWindow::CheckAndDownloadUpdates(const std::string& productcode) {
  struct RunFlag {
    bool& flag;
    explicit RunFlag(bool& f) : flag(f) { flag = true; }
    ~RunFlag() { flag = false; }
  } runFlag(inRun_);
  veltrano::ado::RecordsetPtr atHand;
  VersionCheck check(OpenServerQuery);
  bool checking = false;
  try {
    atHand = openQuery(CatalogueSql(productcode));
    std::string keyList;
    form_.LB_SETUPLIST.Caption("");
    {
      cls_SysREg reg = installedKey();
      if (!atHand) {
        errorShown_ = true;
        ui::MsgBox("ERROR OF RDS SERVICE", ui::vbInformation + ui::vbOKOnly, "ERROR");
        return;
      }
      veltrano::ado::Recordset& rs = *atHand;
      if (hasRows(rs)) {
        form_.FRM_FLAME.Visible(false);  // 취 소 stays: the user may end the run at any time
        int i = 1;
        std::string list;
        while (!rs.Eof()) {
          reg.KeyValue(text::UCase(text::Trim(text::RemoveNuls(rs.Fields(0).Value().toText()))));
          if (!reg.GetRegistry().empty()) {
            list += std::to_string(i) + ". " + text::Trim(rs.Fields(2).Value().toText()) + kCrLf;
            form_.LB_SETUPLIST.Caption(list);
            keyList += text::UCase(text::Trim(text::RemoveNuls(rs.Fields(1).Value().toString()))) + ";";
            ++i;
          }
          rs.MoveNext();
        }
      }
    }
    ShowStepIcon(form_, 0);
    ShowStatusPicture(form_, 3);

    if (!takeSigningKey()) {
      ui::MsgBox("업데이트 서명 공개키(UPDATE_PUBLIC_KEY)가 올바르지 않아 업데이트할 수 없습니다.", ui::vbCritical,
                 "업데이트 불가능");
      throw ProgramEnd(kExitFailed);
    }

    std::vector<std::string> keys = text::Split(keyList, ";");
    if (keys.size() < 2) {
      ui::MsgBox("업데이트할 설치된 제품이 없습니다", ui::vbInformation, "미설치제품");
      // Nothing could be updated; an unreachable service ends here too.
      throw ProgramEnd(kExitFailed);
    }
    keys.pop_back();  // the empty item after the last ";"

    form_.LB_SETUP_PB.Caption("설치된 파일의 버젼을 확인중입니다.");
    updateFiles_ = NewUpdateFiles();
    checking = true;
    updateFiles_ = check.Run(keys, form_.CHK_DNALL.Value() == 1);
    checking = false;

    if (FileCount(updateFiles_) == 0) {
      updateFiles_ = NewUpdateFiles();
      ExecuteEXEFile();
      return;
    }
    DNCOUNT = 1;
    ShowStepIcon(form_, 1);
    form_.LB_SETUP_PB.Caption("서버로 부터 파일을 다운받는 중입니다.");
    form_.LB_SUBMAIN.Caption("패치에 필요한 파일을 다운로드합니다.");
    tmrProc_.setEnabled(true);
    DownLoadNewFileAndRegSet();
  } catch (const RuntimeError& e) {
    const std::string report = checking ? UpdateErrorReport(e, check.atHand().get(), check.productKey())
                                        : UpdateErrorReport(e, atHand.get(), "");
    ui::MsgBox(report, ui::vbCritical + ui::vbOKOnly, "ERROR OF UPDATE");
    throw ProgramEnd(kExitFailed);
  }
}

bool UpdateWindow::takeSigningKey() {
  const std::optional<std::string> text = veltrano::deploy::find("UPDATE_PUBLIC_KEY");
  if (!text) {
    veltrano::eventlog::write("Meridox", "UPDATE_PUBLIC_KEY is not set: downloaded files are not verified.",
                              veltrano::eventlog::Type::Warning);
    dn_->setPublicKey(std::nullopt);
    return true;
  }
  const auto key = veltrano::crypto::base64Decode(*text);
  if (!key || key->size() != veltrano::crypto::kPublicKeyBytes) return false;
  dn_->setPublicKey(*key);
  return true;
}

// --- Download, placement, registration ------------------------------------------------------

void UpdateWindow::DownLoadNewFileAndRegSet() {
  auto entry = [this]() -> const UpdateFileEntry& { return FileAt(updateFiles_, DNCOUNT); };
  Step([&] { form_.LB_SETUP_VER.Caption(""); });
  Step([&] { dn_->setUrl(veltrano::http::withScheme(entry().sourcepath + entry().filename)); });
  Step([&] {
    const UpdateFileEntry& e = entry();
    if (fs::folderExists(e.downloadpath)) {
      dn_->setSaveLocation(e.downloadpath + e.filename);
    } else {
      Step([&] { fs::createFolder(e.downloadpath); });
      dn_->setSaveLocation(e.downloadpath + e.filename);
    }
  });
  Step([&] {
    const UpdateFileEntry& e = entry();
    if (IsReadmeFile(e.filename)) {
      readmeFiles_.resize(static_cast<std::size_t>(readmeCount_) + 1);
      readmeFiles_[static_cast<std::size_t>(readmeCount_)] = e.downloadpath + e.filename;
      ++readmeCount_;
    }
  });
  Step([&] { dn_->setPromptOverwrite(false); });
  const std::uint32_t errorsBefore = dlErrors_;
  Step([&] { dn_->GetFileInformation(); });
  Step([&] { form_.LB_SETUP_PB.Caption(entry().memo); });
  // A header query that failed was already dealt with by its own DLError handling (retries,
  // the in-use box); its dead request is not read as a file.
  if (dn_->FileExists() && dlErrors_ == errorsBefore) {
    Step([&] { dn_->DownLoad(); });
  } else {
    ui::MsgBox("서버에 파일이 존재하지 않아 업데이트 하지 못했습니다.", ui::vbCritical, "업데이트 불가능");
    throw ProgramEnd(kExitFailed);
  }
}

void UpdateWindow::TMR_PROC_Timer() {
  if (idleTicks_ > 6) {
    bar_->TextStyle(3);
    idleTicks_ = 7;
  }
  ++idleTicks_;
}

void UpdateWindow::DN_Percent(std::int32_t&) {
  idleTicks_ = 0;
  bar_->TextStyle(2);
}

void UpdateWindow::placeByteCounter() {
  form_.LB_SETUP_VER.Left(form_.LB_SETUP_PB.Left() + form_.LB_SETUP_PB.Width());
}

void UpdateWindow::DN_RecievedBytes(std::int32_t& lnumBYTES) {
  try {
    if ((lnumBYTES / 256) % 128 == 0) {
      placeByteCounter();
      form_.LB_SETUP_VER.Caption("  [" + text::FormatNumber(lnumBYTES, "###,##0") + "Byte 받음]");
      ui::DoEvents();
    }
    idleTicks_ = 0;
    bar_->TextStyle(2);
  } catch (const RuntimeError&) {
  }
}

void UpdateWindow::DN_DLComplete() {
  try {
    idleTicks_ = 0;
    bar_->TextStyle(2);
    // A program file placed by the run can be started like its Windows original.
    MarkRunnable(dn_->SaveLocation());
    // The hand-off starts a patch program only with the signature it was verified with.
    if (IsPatchFileName(FileAt(updateFiles_, DNCOUNT).filename) && !dn_->VerifiedSignature().empty())
      placeText(dn_->SaveLocation() + ".sig", dn_->VerifiedSignature() + "\n");
    ++DNCOUNT;
    ErrCnt = 0;
    notFoundOffered_ = false;
    const int n = FileCount(updateFiles_);
    bar_->Value(static_cast<std::int32_t>(std::floor(static_cast<double>(DNCOUNT) / (n + 1) * 100)));
    if (DNCOUNT > n) {
      registrationPass();
    } else {
      form_.LB_SETUP_PB.Caption(FileAt(updateFiles_, DNCOUNT).memo);
      placeByteCounter();
      ShowStatusPicture(form_, 2);
      DownLoadNewFileAndRegSet();
    }
  } catch (const RuntimeError&) {
    ui::MsgBox("에러발생. 작업을 계속할 수 없습니다", ui::vbInformation, "ERROR");
    throw ProgramEnd(kExitFailed);
  }
}

void UpdateWindow::registrationPass() {
  const int n = FileCount(updateFiles_);
  ui::setMousePointer(ui::MousePointer::Hourglass);
  form_.LB_SETUP_VER.Caption("");
  form_.LB_SETUP_PB.Caption("프로그램이 시스템을 변경중입니다.");
  ShowStepIcon(form_, 2);
  bar_->Value(100);
  tmrProc_.setEnabled(false);
  bar_->Text("확장파일 등록목록을 작성중입니다.");
  bar_->TextStyle(3);
  for (DNCOUNT = 0; DNCOUNT <= n; ++DNCOUNT) {
    const UpdateFileEntry& e = FileAt(updateFiles_, DNCOUNT);
    if (!e.addreg) continue;
    ShowStatusPicture(form_, 1);
    form_.LB_SETUP_PB.Caption("프로그램이 시스템을 변경중입니다.");
    form_.LB_SETUP_VER.Caption("");
    bar_->Text(e.memo + " 확장파일 등록중");
    REGINSERT(e.filename, e.downloadpath);
    veltrano::clock().sleep(100);
  }
  ShowStatusPicture(form_, 2);
  bar_->TextStyle(2);
  SaveInstalledVersions();
  ShowStatusPicture(form_, 1);
  ui::setMousePointer(ui::MousePointer::Default);
  ExecuteEXEFile();
}

void UpdateWindow::retryTransfer() {
  // A file that came down whole but could not replace the installed one (in use) is not
  // fetched again: only its replacement is retried. Otherwise, with a key set, DownLoad
  // continues the side file the failed attempt kept.
  if (dn_->PlacementPending()) {
    dn_->PlaceFile();
    return;
  }
  dn_->Cancel();
  const std::uint32_t errorsBefore = dlErrors_;
  dn_->GetFileInformation();
  if (dlErrors_ == errorsBefore && dn_->FileExists()) dn_->DownLoad();
}

void UpdateWindow::DN_DLError(std::string& lpErrorDescription) {
  ++dlErrors_;
  // A file whose signature fails is never retried nor offered as in use: it fails for good.
  if (!dn_->SignatureFailure().empty()) {
    tmrProc_.setEnabled(false);
    ui::MsgBox("파일(" + FileAt(updateFiles_, DNCOUNT).filename + ")의 서명을 확인하지 못해 설치하지 않았습니다." + kCrLf +
                   kCrLf + "사유 : " + dn_->SignatureFailure(),
               ui::vbCritical, "업데이트 불가능");
    throw ProgramEnd(kExitFailed);
  }
  try {
    veltrano::clock().sleep(500);
    if (ErrCnt < 3) {
      ++ErrCnt;
      retryTransfer();
      return;
    }
    // A file the server does not have is offered to the user once; when the retry finds it
    // missing again, control goes back to the download step, which reports the missing file.
    const bool notFound = lpErrorDescription == kFileNotFoundText;
    if (notFound && notFoundOffered_) return;
    const std::string filename = FileAt(updateFiles_, DNCOUNT).filename;
    tmrProc_.setEnabled(false);
    form_.LB_INFO.Caption("");
    bar_->TextStyle(2);
    ui::MsgBox(lpErrorDescription, ui::vbOKOnly);
    // Cancel is the default button, so an unattended run ends here instead of retrying for
    // ever.
    const ui::Answer answer =
        ui::MsgBox("파일(" + filename + ")이 사용중입니다." + kCrLf + kCrLf + "모든 VELTRANO의 프로그램을 종료해주시기 바랍니다.",
                   ui::vbRetryCancel + ui::vbCritical + ui::vbDefaultButton2, "프로그램");
    if (answer != ui::Answer::Retry) throw ProgramEnd(kExitCancelled);
    if (notFound) notFoundOffered_ = true;
    ErrCnt = 0;
    retryTransfer();
  } catch (const RuntimeError&) {
  }
}

std::int16_t UpdateWindow::REGINSERT(const std::string& Filename, const std::string& Path) {
  // The register command starts when the unregister command has ended, so the server is
  // never left unregistered by the two overtaking each other.
  Step([&] {
    ShellInOrder({"regsvr32.exe \"" + Path + Filename + "\" /u /s", "regsvr32.exe \"" + Path + Filename + "\" /s"},
                 program_.path);
  });
  return 0;
}

void UpdateWindow::SaveInstalledVersions() {
  cls_SysREg reg;
  Step([&] { reg.hKey(veltrano::reg::HKEY_CURRENT_USER); });
  for (int i = 1; i <= FileCount(updateFiles_); ++i) {
    const UpdateFileEntry& e = updateFiles_[static_cast<std::size_t>(i)];
    Step([&] { reg.KeyPath("SOFTWARE\\VELTRANO\\" + e.productkey); });
    Step([&] { reg.KeyName("INSTALL FILES"); });
    Step([&] { reg.KeyValue(text::UCase(text::Trim(e.filename))); });
    Step([&] { reg.SetRegistry(text::UCase(text::Trim(e.version))); });
  }
}

// --- Completion --------------------------------------------------------------------------------

void UpdateWindow::finishWith(const std::string& text, int style) {
  Step([&] { ui::MsgBox(text, style, kTitle); });
  Step([&] { HandOffCheck(program_); });
  throw ProgramEnd(kExitDone);
}

veltrano::Variant UpdateWindow::ExecuteEXEFile() {
  Step([&] { form_.LB_SUBMAIN.Caption("시스템 업데이트가 완료되었습니다."); });
  Step([&] { form_.LB_SETUP_PB.Caption("완료됨"); });

  const std::vector<std::string> items = text::Split(program_.command, ",");
  if (items.size() >= 2) {
    Step([&] { form_.Hide(); });
    Step([&] { Shell(items[1], program_.path); });
    Step([&] { HandOffCheck(program_); });
    throw ProgramEnd(kExitDone);
  }
  if (FileCount(updateFiles_) < 1)
    finishWith("이미 최신버젼으로 업데이트 되어 있습니다.\r\r프로그램을 종료합니다", ui::vbExclamation);
  if (readmeFiles_.size() <= 1)
    finishWith("최신버젼으로 업데이트가 완료 되었습니다.\r\r프로그램을 종료합니다", ui::vbInformation);

  ui::Answer answer = ui::Answer::No;
  Step([&] {
    answer = ui::MsgBox("최신버젼으로 업데이트가 완료 되었습니다.\r\r주요 업데이트 기록을 보시겠습니까?",
                        ui::vbInformation + ui::vbYesNo, kTitle);
  });
  if (answer == ui::Answer::Yes) {
    for (std::size_t i = 1; i < readmeFiles_.size(); ++i)
      Step([&] { Shell("NOTEPAD \"" + readmeFiles_[i] + "\"", program_.path); });
  }
  Step([&] { HandOffCheck(program_); });
  throw ProgramEnd(kExitDone);
}

}  // namespace meridox
