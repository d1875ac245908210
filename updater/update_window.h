#pragma once
// The update window `업데이트`: the form code that owns one update run. It decides from the
// command text in which mode the process runs, lists the installed products, queries the
// catalogue and the file lists, downloads through its DN control, registers COM servers,
// records the new versions, shows the completion messages and hands over to the patch program.
//
// The run advances only through the handlers below: the load, the two buttons, the ticks of
// TMR_PROC and the events of DN. DN raises its events from inside its own methods, so the
// handlers run nested inside the DN call that raised them: the next file's download starts
// from inside the previous file's DLComplete, a retry from inside DLError. Every path of a
// run ends with veltrano::ProgramEnd, thrown through the callers up to the program's main (or
// a test); nothing here calls exit.
//
// No toolkit: the controls are the Qt-free form model (update_form.h), the progress bar
// control and the download control. A view mirrors the model; boxes go through platform/ui.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/http/inet.h"
#include "platform/runtime/property_bag.h"
#include "platform/runtime/variant.h"
#include "platform/ui/user_interface.h"
#include "updater/download_control.h"
#include "updater/program_info.h"
#include "updater/progress_bar.h"
#include "updater/query_client.h"
#include "updater/update_files.h"
#include "updater/update_form.h"

namespace meridox {

// The suite's programs ended at start, in this order.
inline constexpr const char* kSuitePrograms[] = {"KESTRAL.EXE", "TARVIC2004.EXE", "TARVICON.EXE", "CORVAN.EXE",
                                                 "TARVICINO2",  "ORVEX.EXE",      "TARVIC2.EXE"};

// Exit statuses of a run: it ended normally (files updated, nothing to update, or the user
// chose not to update at the listing); an error ended it (an error box, a file that failed or
// was refused, the service unreachable); the user cancelled during the run.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitCancelled = 2;

// Unload reasons of Form_QueryUnload.
inline constexpr int vbFormControlMenu = 0;
inline constexpr int vbFormCode = 1;
inline constexpr int vbAppWindows = 2;
inline constexpr int vbAppTaskManager = 3;

class UpdateWindow {
 public:
  // Design-time values of the form's user controls, as stored with the form (PropertyBag text
  // form). DN reads 64 KiB per pass, enough to keep up with the network; SP_PB starts full
  // with the caption "100%".
  static constexpr const char* kDnDesign = "CHUNK=long:65536\n";
  static constexpr const char* kProgressBarDesign =
      "Value=long:100\nTheme=long:4\nTextStyle=long:3\nText=string:100%\nTextEffectColor=long:16777215\n"
      "TextEffect=long:5\nTextFont=string:맑은 고딕,9,B\n";

  explicit UpdateWindow(ProgramInfo program);
  ~UpdateWindow();
  UpdateWindow(const UpdateWindow&) = delete;
  UpdateWindow& operator=(const UpdateWindow&) = delete;

  // --- The window's public members, in the order of its interface ----------------------
  // Index (1-based) in UpdateFiles of the file being downloaded; the loop index of the
  // registration pass.
  std::int16_t DNCOUNT = 0;
  // Automatic retries spent on the current file.
  std::int16_t ErrCnt = 0;
  // Starts the download of file DNCOUNT. A failing step is skipped and the next one runs.
  void DownLoadNewFileAndRegSet();
  // Unregisters and registers one COM server with regsvr32 (Path + Filename); always 0.
  std::int16_t REGINSERT(const std::string& Filename, const std::string& Path);
  // Finishes the run: completion texts and boxes, README display or the product program,
  // hand-off; ends the program. A failing step is skipped.
  veltrano::Variant ExecuteEXEFile();

  // The load's first statement, posted before the window was made (first_query.h): the load
  // reads its reply instead of posting the statement again. Call before Form_Load.
  void takeFirstQuery(std::unique_ptr<QueryExchange> posted) { firstQuery_ = std::move(posted); }

  // --- Event handlers ---------------------------------------------------------------------
  void Form_Load();
  // True (refuse) when the request comes from the close box or the system menu.
  bool Form_QueryUnload(int UnloadMode);
  void Com_Yes_Click();
  void Com_Cancel_Click();
  void TMR_PROC_Timer();
  void DN_DLComplete();
  void DN_DLError(std::string& lpErrorDescription);
  void DN_RecievedBytes(std::int32_t& lnumBYTES);
  void DN_Percent(std::int32_t& lPercent);

  // --- Controls and state, for the view and for tests ----------------------------------
  UpdateForm& form() { return form_; }
  const UpdateForm& form() const { return form_; }
  ProgressBar& SP_PB() { return *bar_; }
  DN& Dn() { return *dn_; }
  veltrano::ui::Timer& TMR_PROC() { return tmrProc_; }
  const ProgramInfo& program() const { return program_; }
  const UpdateFileList& UpdateFiles() const { return updateFiles_; }
  const std::vector<std::string>& ReadmeFiles() const { return readmeFiles_; }
  std::int16_t ReadmeCount() const { return readmeCount_; }
  std::int16_t IdleTicks() const { return idleTicks_; }

 private:
  class Events;
  class Site;

  void CheckAndDownloadUpdates(const std::string& productcode);
  // OpenServerQuery(sql), reading the posted first query when it holds this statement.
  veltrano::ado::RecordsetPtr openQuery(const std::string& sql);
  void ListInstalledProducts();
  void SaveInstalledVersions();
  // DN.Cancel, DN.GetFileInformation, and DN.DownLoad when the header query found the file.
  void retryTransfer();
  void placeByteCounter();
  void registrationPass();
  void finishWith(const std::string& text, int style);

  ProgramInfo program_;
  UpdateForm form_;
  std::unique_ptr<Site> barSite_;
  std::unique_ptr<Site> dnSite_;
  std::unique_ptr<ProgressBar> bar_;
  std::unique_ptr<DN> dn_;
  std::unique_ptr<Events> events_;
  veltrano::http::Inet inet_;  // INET: placed on the window, not used by the run
  veltrano::ui::Timer tmrProc_;
  veltrano::ui::Timer tmrDownload_;
  std::unique_ptr<QueryExchange> firstQuery_;

  UpdateFileList updateFiles_ = NewUpdateFiles();
  std::vector<std::string> readmeFiles_;
  std::int16_t readmeCount_ = 0;
  std::int16_t idleTicks_ = 0;
  // DLError events seen so far: a header query that raised one was handled by its own nested
  // handler, and no second transfer is started on it.
  std::uint32_t dlErrors_ = 0;
  // The in-use box was offered once already for a file the server does not have.
  bool notFoundOffered_ = false;
  // An error box was shown while the window waits (the catalogue could not be read): the
  // cancel button then ends the program as failed.
  bool errorShown_ = false;

  // Gives DN the signing key of the deploy settings; false when it is set but not a key. An
  // absent key writes the event-log line that files are not verified.
  bool takeSigningKey();
  // A run is under way: a second click on Com_Yes (while the first waits for the server)
  // would start a second run inside the first.
  bool inRun_ = false;
};

}  // namespace meridox
