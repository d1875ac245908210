#pragma once
// DN, the updater's HTTP download control: downloads one file into a local path, can resume a
// partial file, and reports every step and outcome through events. All network traffic goes
// through its child transfer control I1.
//
// The host sets Url, SaveLocation, CHUNK and the options, calls GetFileInformation (the reply
// headers; the body stays pending on I1), then DownLoad (that pending body into the file) or,
// for a partial local file and a server that speaks HTTP/1.1, DLResume (a ranged request).
//
// Events are synchronous calls on the DNEvents object the host installs, made from inside the
// method that raises them, with their argument passed by reference. A handler may call Pause
// and Cancel (they only set flags, acted on at the next pass) and may start the next transfer
// (GetFileInformation, DownLoad) from inside DLComplete or DLError: the control has closed its
// file and released I1's request before it raises either. Between its steps a method lets the
// message loop run (ui::DoEvents), so the host's window, timers and buttons stay live.
//
// No method raises an error to its caller: every failure ends in the events DLError, DLECode
// and StatusChange. Only the end of the program (veltrano::ProgramEnd, thrown by a handler)
// passes through.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/crypto.h"
#include "platform/fs/side_file.h"
#include "platform/http/inet.h"
#include "platform/runtime/property_bag.h"

namespace meridox {

class DownloadFile;  // the local file a resumed transfer appends to (download_control.cpp)

// The events of DN in their declared order. Default handlers do nothing.
class DNEvents {
 public:
  virtual ~DNEvents() = default;
  // A transfer has read the last chunk and closed the file.
  virtual void DLComplete() {}
  // An error text for the user.
  virtual void DLError(std::string& lpErrorDescription) { (void)lpErrorDescription; }
  // A numeric outcome: 1 transfer error, 2 not found (404), 3 reply headers unreadable,
  // 4 cancelled, 5 no connection, 6 resume file missing, 7 resume not supported, 8 signature check failed, 401, 403.
  virtual void DLECode(std::int32_t& lErrorCode) { (void)lErrorCode; }
  // After each chunk: the bytes of the file now on disk.
  virtual void RecievedBytes(std::int32_t& lnumBYTES) { (void)lnumBYTES; }
  // After each chunk: the whole percentage of the file size.
  virtual void Percent(std::int32_t& lPercent) { (void)lPercent; }
  // Any progress or outcome text.
  virtual void StatusChange(std::string& lpStatus) { (void)lpStatus; }
  // After each chunk: the rate text ("512 Bytes/S", "1.5 KB/S").
  virtual void Rate(std::string& lpRate) { (void)lpRate; }
  // After each chunk: the remaining-time text ("42 sec", "2 min 5 sec", "1 hr 2 min").
  virtual void TimeLeft(std::string& lpTime) { (void)lpTime; }
  // During the connection check, once per kind of connection found.
  virtual void ConnectionState(std::string& strState) { (void)strState; }
};

// Where a property appears in the host's property browser.
struct PropertyCategory {
  std::string_view property;
  std::string_view category;
};

class DN {
 public:
  static constexpr std::string_view kCategory = "DownLoad_Properties";
  static constexpr std::array<PropertyCategory, 4> kPropertyCategories{{
      {"Url", kCategory}, {"CHUNK", kCategory}, {"SaveLocation", kCategory}, {"PromptOverwrite", kCategory}}};
  // The control's fixed size in twips.
  static constexpr int kSizeTwips = 480;
  static constexpr std::int32_t kDefaultChunk = 512;

  // `site` receives the property-changed notices (may be null).
  explicit DN(veltrano::ControlSite* site = nullptr);
  DN(const DN&) = delete;
  DN& operator=(const DN&) = delete;

  // The host's event handlers (may be null; the caller keeps the object alive).
  void setEvents(DNEvents* events) { events_ = events; }
  void setSite(veltrano::ControlSite* site) { site_ = site; }

  // --- Properties -----------------------------------------------------------------------
  bool InDL() const { return inDownload_; }
  bool AResume() const { return resumeSupported_; }
  bool ResumeSupported() const { return resumeSupported_; }
  bool CPause() const { return pause_; }
  bool CCancel() const { return cancelRequest_; }
  bool Connected() const { return connected_; }
  bool FileExists() const { return fileExists_; }
  std::int32_t FileSize() const { return fileSize_; }

  std::int32_t ROLLBACK() const { return rollback_; }
  void setROLLBACK(std::int32_t lnumBYTES);
  bool PromptOverwrite() const { return promptOverwrite_; }
  void setPromptOverwrite(bool DoPrompt);
  bool OnlineCheck() const { return onlineCheck_; }
  void setOnlineCheck(bool DoCheck);
  bool KeepType() const { return keepType_; }
  void setKeepType(bool IsKeep);
  const std::string& Url() const { return url_; }
  void setUrl(std::string New_Url);
  std::int32_t CHUNK() const { return chunk_; }
  void setCHUNK(std::int32_t New_CHUNK);
  const std::string& SaveLocation() const { return saveLocation_; }
  void setSaveLocation(std::string New_Location);

  // --- Methods --------------------------------------------------------------------------
  // Optional connection check, "GET" for Url, wait for the reply headers; sets FileSize,
  // FileExists, AResume.
  void GetFileInformation();
  // Reads the body that GetFileInformation left pending into a side file beside the target,
  // which replaces the target only when the body is complete (as many bytes as the reply's
  // Content-Length). Until then the target is untouched; without a public key a failed or
  // cancelled transfer discards the side file, and one left by an earlier run is started
  // afresh. When the replacement itself is refused (the file is in use), the complete side
  // file is kept: PlacementPending() is then true and PlaceFile() tries again.
  void DownLoad();
  // With a public key set, DownLoad verifies each file before it replaces the target: the
  // SHA-256 digest is computed as the bytes arrive, and the signature is fetched from Url +
  // ".sig" (standard base64 of the 64-byte Ed25519 signature of the digest). A signature the
  // server answers 404 for, a malformed one or one that does not match fails the file for good:
  // the side file is discarded, SignatureFailure() names the reason (Korean text) and the
  // events are DLError "Signature Check Failed: " + reason, StatusChange, DLECode 8. A transfer
  // error while fetching the signature ends as any failed transfer. Without a key nothing is
  // verified and nothing extra is fetched.
  //
  // With a key, side files are continued, since the signature checks the joined file: a failed
  // or cancelled transfer keeps its side file (a full disk excepted), and DownLoad continues a
  // side file it finds with a ranged request "Range: bytes=N-" for the rest (N its length;
  // none when N is the file size), feeding the digest the N bytes first. The events are those
  // of a fresh transfer, RecievedBytes and Percent counting N + the bytes received; the length
  // checked is N + received. A server answering the range with the whole file (200) starts
  // the side file afresh, as do an HTTP/1.0 server and a side file longer than the file; any
  // other answer to the range is a failed transfer (the side file is kept). A continued file
  // whose signature does not match is discarded and fetched once whole (a second "Opening" and
  // its passes) before it fails for good; a missing or malformed signature fails it at once.
  void setPublicKey(std::optional<veltrano::crypto::Bytes> key) { publicKey_ = std::move(key); }
  // The signature text (base64) that the last placed file was verified with; "" without a key.
  const std::string& VerifiedSignature() const { return verifiedSignature_; }
  // The reason the last transfer's signature check failed; "" when it did not fail.
  const std::string& SignatureFailure() const { return signatureFailure_; }
  // A downloaded file waits for its replacement, refused before.
  bool PlacementPending() const { return side_.complete(); }
  // Tries the refused replacement again without fetching anything; ends in DLComplete or
  // DLError as DownLoad does.
  void PlaceFile();
  // Sends a ranged "GET" and appends the rest of the file to SaveLocation (a partial file the
  // host names; written in place).
  void DLResume();
  // Sets the pause flag; false also raises StatusChange "Unpausing".
  void Pause(bool& blnPause);
  void Pause(bool&& blnPause) { Pause(blnPause); }
  // Sets the cancel-request flag and raises StatusChange "Cancelling..".
  void Cancel();

  // --- User control life cycle ----------------------------------------------------------
  // A freshly placed control: Url "", CHUNK 512, SaveLocation ""; the options stay false.
  void InitProperties();
  // Keys "URL", "CHUNK", "SaveLocation", "KeepType", "OnlineCheck", "PromptOverwrite", in
  // that order, each with its default. ROLLBACK and the run-time flags are not persisted.
  void ReadProperties(veltrano::PropertyBag& bag);
  void WriteProperties(veltrano::PropertyBag& bag) const;
  // The container resized the control: it takes back its fixed size.
  void Resize();
  void setSize(int widthTwips, int heightTwips);
  int Width() const { return widthTwips_; }
  int Height() const { return heightTwips_; }

  // --- Helpers (private to the control; public for tests) -------------------------------
  // Runs the connection check, raising ConnectionState per kind found; true when connected.
  bool CheckConnection();
  // "512 Bytes/S" for 0..1023, "1.5 KB/S" for 1024..1048575, "" otherwise.
  static std::string RateText(double bytesPerSecond);
  // "42 sec", "2 min 5 sec", "1 hr 2 min".
  static std::string TimeLeftText(float seconds);
  // The save path with the extension of the address's file name. The path is kept unchanged
  // when the address or the path has no "." among its last six characters in its last
  // component (the file name): there is then no extension to take or to replace.
  static std::string KeepTypeFileName(std::string_view address, std::string_view path);

  // Run-time members the host does not see, for tests and diagnostics.
  std::int32_t BytesReceived() const { return bytesReceived_; }
  float StartTime() const { return startTime_; }
  float SecondsLeft() const { return secondsLeft_; }
  float CurrentRate() const { return currentRate_; }
  // The child transfer control.
  veltrano::http::Inet& I1() { return i1_; }

 private:
  enum class PassEnd { Complete, Cancelled };

  void changed(std::string_view property);
  std::string askNewName(const std::string& path);
  template <class File>
  PassEnd runPasses(File& file, std::int32_t chunk, std::int32_t existingLength,
                    veltrano::crypto::Sha256* digest = nullptr);
  // "" when the signature of the digest checks out; otherwise the reason it fails for good.
  // Raises a run-time error for a transfer error while fetching the signature.
  std::string checkSignature(const veltrano::crypto::Digest& digest);
  std::int32_t openSideFile(const std::string& path, veltrano::crypto::Sha256* digest);
  bool requestFrom(std::int32_t offset);
  void placeAndComplete();
  void failTransfer(bool diskFull);
  void leaveSideFile(bool diskFull);
  void raiseCancelled();
  bool connectionRuleFails();

  void raiseDLComplete();
  void raiseDLError(std::string text);
  void raiseDLECode(std::int32_t code);
  void raiseRecievedBytes(std::int32_t bytes);
  void raisePercent(std::int32_t percent);
  void raiseStatusChange(std::string text);
  void raiseRate(std::string text);
  void raiseTimeLeft(std::string text);
  void raiseConnectionState(std::string text);

  veltrano::ControlSite* site_ = nullptr;
  DNEvents* events_ = nullptr;
  veltrano::http::Inet i1_;
  veltrano::fs::SideFile side_;
  std::optional<veltrano::crypto::Bytes> publicKey_;
  std::string signatureFailure_;
  std::string verifiedSignature_;

  bool resumeSupported_ = false;
  bool cancelRequest_ = false;
  bool pause_ = false;
  std::string url_;
  std::int32_t fileSize_ = 0;
  std::int32_t chunk_ = 0;
  bool fileExists_ = false;
  std::int32_t bytesReceived_ = 0;
  std::string saveLocation_;
  bool keepType_ = false;
  bool onlineCheck_ = false;
  bool promptOverwrite_ = false;
  bool connected_ = false;
  std::int32_t rollback_ = 0;
  bool inDownload_ = false;
  float startTime_ = 0;
  float secondsLeft_ = 0;
  float currentRate_ = 0;
  // The body of I1's current reply has been read from already; reading it again would write
  // the rest of it as if it were the whole file.
  bool replyBodyTouched_ = false;
  int widthTwips_ = kSizeTwips;
  int heightTwips_ = kSizeTwips;
};

}  // namespace meridox
