#include "updater/download_control.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <span>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/fs/output_file.h"
#include "platform/fs/side_file.h"
#include "platform/http/connection_state.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"

namespace meridox {

using veltrano::RuntimeError;
namespace err = veltrano::err;
namespace fs = veltrano::fs;
namespace text = veltrano::text;
namespace ui = veltrano::ui;

// The local file of a resumed transfer: raw bytes appended at the end, through a buffer that is written
// out whenever it fills and whenever the file is flushed or closed, so that after a transfer
// ends (complete, cancelled or failed) every byte it reported is on disk. Failures raise the
// run-time's file errors.
class DownloadFile {
 public:
  static constexpr std::size_t kBufferBytes = 64 * 1024;

  DownloadFile() = default;
  ~DownloadFile() { closeQuietly(); }
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  // Opens a Windows-style path for writing: `append` keeps what is there and writes after its
  // end; otherwise the file is created, or emptied when it exists.
  void open(const std::string& path, bool append) {
    // Names Windows cannot hold (wildcards and the like) are refused as Windows would.
    if (fs::fileNamePart(path).find_first_of("*?\"<>|") != std::string::npos)
      throw RuntimeError(err::kBadFileName, "DN");
    fs::checkFault("open", fs::toNative(path));
    if (int error = file_.open(path, append)) throw RuntimeError(error, "DN");
    buffer_.reserve(kBufferBytes);
  }

  bool isOpen() const { return file_.isOpen(); }

  void write(const std::uint8_t* data, std::size_t size) {
    if (buffer_.size() + size > kBufferBytes) flush();
    if (size >= kBufferBytes) {
      writeOut(data, size);
    } else {
      buffer_.insert(buffer_.end(), data, data + size);
    }
  }

  void flush() {
    if (!buffer_.empty()) {
      writeOut(buffer_.data(), buffer_.size());
      buffer_.clear();
    }
  }

  // Flushes and closes; raises when the last bytes cannot be written (the file is closed
  // all the same).
  void close() {
    if (!file_.isOpen()) return;
    try {
      flush();
    } catch (...) {
      closeQuietly();
      throw;
    }
    file_.close();
  }

  // Closes after a failure: writes out what it can and raises nothing.
  void closeQuietly() noexcept {
    if (!file_.isOpen()) return;
    try {
      flush();
    } catch (...) {
    }
    file_.close();
    buffer_.clear();
  }

 private:
  void writeOut(const std::uint8_t* data, std::size_t size) {
    fs::checkFault("write", file_.nativePath());
    if (int error = file_.write(data, size)) throw RuntimeError(error, "DN");
  }

  fs::OutputFile file_;
  std::vector<std::uint8_t> buffer_;
};

namespace {

// While paused, the transfer loop rests this long between its "Paused." reports instead of
// spinning a core.
constexpr std::int64_t kPauseRestMs = 20;

double timer() { return veltrano::clock().secondsSinceMidnight(); }

// Why a signature fails (shown to the user).
constexpr const char* kSignatureMissing = "서명 파일(.sig)이 서버에 없습니다.";
constexpr const char* kSignatureMalformed = "서명 파일의 형식이 올바르지 않습니다.";
constexpr const char* kSignatureMismatch = "서명이 파일과 맞지 않습니다.";

// The run-time's division: by zero raises 11, zero by zero raises 6 (overflow).
double divide(double a, double b) {
  if (b == 0) throw RuntimeError(a == 0 ? err::kOverflow : err::kDivisionByZero, "DN");
  return a / b;
}

float toSingle(double v) {
  if (!(std::fabs(v) <= FLT_MAX)) throw RuntimeError(err::kOverflow, "DN");
  return static_cast<float>(v);
}

std::int32_t addLong(std::int64_t a, std::int64_t b) {
  std::int64_t sum = a + b;
  if (sum > std::numeric_limits<std::int32_t>::max() || sum < std::numeric_limits<std::int32_t>::min())
    throw RuntimeError(err::kOverflow, "DN");
  return static_cast<std::int32_t>(sum);
}

// 0-based index of the first "." at or after the sixth character from the end, that lies in
// the last component (after every "\" and "/"); npos when there is none.
std::size_t extensionDot(const std::u32string& s) {
  const std::size_t from = s.size() > 6 ? s.size() - 6 : 0;
  const std::size_t dot = s.find(U'.', from);
  if (dot == std::u32string::npos) return dot;
  if (s.find_first_of(U"\\/", dot) != std::u32string::npos) return std::u32string::npos;
  return dot;
}

}  // namespace

DN::DN(veltrano::ControlSite* site) : site_(site) {}

// --- Properties ----------------------------------------------------------------------------

void DN::changed(std::string_view property) {
  if (site_) site_->propertyChanged(property);
}

void DN::setROLLBACK(std::int32_t lnumBYTES) {
  rollback_ = lnumBYTES;
  changed("ROLLBACK");
}

void DN::setPromptOverwrite(bool DoPrompt) {
  promptOverwrite_ = DoPrompt;
  changed("PromptOverwrite");
}

void DN::setOnlineCheck(bool DoCheck) {
  onlineCheck_ = DoCheck;
  changed("OnlineCheck");
}

void DN::setKeepType(bool IsKeep) {
  keepType_ = IsKeep;
  changed("KeepType");
}

void DN::setUrl(std::string New_Url) {
  url_ = std::move(New_Url);
  changed("Url");
}

void DN::setCHUNK(std::int32_t New_CHUNK) {
  chunk_ = New_CHUNK;
  changed("CHUNK");
}

void DN::setSaveLocation(std::string New_Location) {
  saveLocation_ = std::move(New_Location);
  changed("SaveLocation");
}

// --- Life cycle ------------------------------------------------------------------------------

void DN::InitProperties() {
  url_.clear();
  chunk_ = kDefaultChunk;
  saveLocation_.clear();
}

void DN::ReadProperties(veltrano::PropertyBag& bag) {
  url_ = bag.ReadProperty("URL", std::string()).toString();
  chunk_ = bag.ReadProperty("CHUNK", kDefaultChunk).toInt32();
  saveLocation_ = bag.ReadProperty("SaveLocation", std::string()).toString();
  keepType_ = bag.ReadProperty("KeepType", false).toBool();
  onlineCheck_ = bag.ReadProperty("OnlineCheck", false).toBool();
  promptOverwrite_ = bag.ReadProperty("PromptOverwrite", false).toBool();
}

void DN::WriteProperties(veltrano::PropertyBag& bag) const {
  bag.WriteProperty("URL", url_, std::string());
  bag.WriteProperty("CHUNK", chunk_, kDefaultChunk);
  bag.WriteProperty("SaveLocation", saveLocation_, std::string());
  bag.WriteProperty("KeepType", keepType_, false);
  bag.WriteProperty("OnlineCheck", onlineCheck_, false);
  bag.WriteProperty("PromptOverwrite", promptOverwrite_, false);
}

void DN::Resize() {
  heightTwips_ = kSizeTwips;
  widthTwips_ = kSizeTwips;
}

void DN::setSize(int widthTwips, int heightTwips) {
  widthTwips_ = widthTwips;
  heightTwips_ = heightTwips;
  Resize();
}

// --- Events ----------------------------------------------------------------------------------

void DN::raiseDLComplete() {
  if (events_) events_->DLComplete();
}
void DN::raiseDLError(std::string text) {
  if (events_) events_->DLError(text);
}
void DN::raiseDLECode(std::int32_t code) {
  if (events_) events_->DLECode(code);
}
void DN::raiseRecievedBytes(std::int32_t bytes) {
  if (events_) events_->RecievedBytes(bytes);
}
void DN::raisePercent(std::int32_t percent) {
  if (events_) events_->Percent(percent);
}
void DN::raiseStatusChange(std::string text) {
  if (events_) events_->StatusChange(text);
}
void DN::raiseRate(std::string text) {
  if (events_) events_->Rate(text);
}
void DN::raiseTimeLeft(std::string text) {
  if (events_) events_->TimeLeft(text);
}
void DN::raiseConnectionState(std::string text) {
  if (events_) events_->ConnectionState(text);
}

// --- Connection check ------------------------------------------------------------------------

bool DN::CheckConnection() {
  std::uint32_t flags = 0;
  const bool connected = veltrano::http::InternetGetConnectedState(flags, 0);
  if (flags & veltrano::http::INTERNET_CONNECTION_MODEM) raiseConnectionState("Connected Via Modem.");
  if (flags & veltrano::http::INTERNET_CONNECTION_LAN) raiseConnectionState("Connected Via LAN.");
  if (flags & veltrano::http::INTERNET_CONNECTION_PROXY) raiseConnectionState("Connected Through A Proxy.");
  return connected;
}

// Step 2 of both transfers: with OnlineCheck on, only a connection found by the last header
// query lets them go on (no new check is made).
bool DN::connectionRuleFails() {
  if (!onlineCheck_ || connected_) return false;
  i1_.Cancel();  // before the events, as a handler may start the next request
  raiseDLECode(5);
  raiseDLError("No Connection Found!");
  raiseStatusChange("Download aborted, no connection present!");
  return true;
}

// --- Header query ----------------------------------------------------------------------------

void DN::GetFileInformation() {
  try {
    if (cancelRequest_) cancelRequest_ = false;

    if (onlineCheck_) {
      if (!CheckConnection()) {
        ui::MsgBox("You are not currently connected to the internet!\r\nThe download will be aborted!", ui::vbOKOnly);
        connected_ = false;
        raiseDLECode(5);
        ui::DoEvents();
        raiseDLError("No Connection Found!");
        ui::DoEvents();
        raiseStatusChange("Download aborted, no connection present!");
        ui::DoEvents();
        return;
      }
      connected_ = true;
    }

    i1_.setURL(url_);
    replyBodyTouched_ = false;
    i1_.Execute("", "GET");
    ui::DoEvents();
    raiseStatusChange("Initiating Connection.");

    // No time limit of the control's own: the transport's limits end a dead request.
    while (i1_.StillExecuting()) ui::DoEvents();

    raiseStatusChange("Connection Accepted, Retrieving File Information.");

    if (!cancelRequest_) {
      const std::string header = i1_.GetHeader();
      const std::string code = text::Mid(header, 10, 3);
      // The refused request is released before the events, since a DLError handler may
      // start the next request on I1; the flags are set after them.
      if (code == "401") {
        i1_.Cancel();
        raiseStatusChange("Unauthorized Access, Download Terminated!");
        raiseDLECode(401);
        raiseDLError("Unauthorized Access!");
        resumeSupported_ = false;
        fileExists_ = true;
        fileSize_ = 0;
        return;
      }
      if (code == "403") {
        i1_.Cancel();
        raiseStatusChange("Access Denied, Download Terminated!");
        raiseDLECode(403);
        raiseDLError("Access Denied!");
        resumeSupported_ = false;
        fileExists_ = true;
        fileSize_ = 0;
        return;
      }
      if (code == "404") {
        i1_.Cancel();
        raiseDLError("File Not Found!");
        raiseStatusChange("File Not Found!");
        raiseDLECode(2);
        fileExists_ = false;
        fileSize_ = 0;
        return;
      }

      if (!cancelRequest_) {
        if (text::Mid(header, 6, 3) == "1.1") resumeSupported_ = true;
        fileExists_ = true;
        startTime_ = toSingle(timer() - 1.0);
        fileSize_ = text::CLng(std::string_view(i1_.GetHeader("Content-Length")));
        raiseStatusChange("Retrieving File Information Complete!");
        return;
      }
    }

    cancelRequest_ = false;
    raiseDLECode(4);
    raiseStatusChange("cancelled.");
  } catch (const std::exception&) {
    raiseDLError("Error Reading File Headers.");
    raiseStatusChange("Error Reading File Headers!");
    raiseDLECode(3);
  }
}

// --- Transfers -------------------------------------------------------------------------------

std::string DN::askNewName(const std::string& path) {
  for (;;) {
    std::string answer =
        ui::InputBox("Please type in a new file path and name.\r\nExample: C:\\File2.txt", "New File...", path);
    if (answer.empty()) {
      ui::MsgBox("You didn't specify a file!", ui::vbExclamation + ui::vbOKOnly, "Error!");
      continue;
    }
    if (answer == path) {
      // No is the default button, so an unattended run keeps the path instead of asking for
      // ever.
      if (ui::MsgBox("You typed in the same file! Would you like type in a different file?",
                     ui::vbYesNo + ui::vbCritical + ui::vbDefaultButton2, "Try Again?") == ui::Answer::Yes)
        continue;
      return path;
    }
    return answer;
  }
}

void DN::DownLoad() {
  if (cancelRequest_) return;
  if (connectionRuleFails()) return;

  try {
    // Reading a reply whose body an earlier transfer began would write its rest as the file.
    if (replyBodyTouched_)
      throw RuntimeError(err::kDeviceIOError, "DN", "The reply was read already; ask for the file information again.");
    i1_.setURL(url_);
    // A CHUNK below 2 would end the loop after its first chunk (a chunk of at most one byte
    // marks the end of the body), reporting a one-byte file as complete.
    const std::int32_t chunk = chunk_ >= 2 ? chunk_ : kDefaultChunk;
    std::string path = keepType_ ? KeepTypeFileName(url_, saveLocation_) : saveLocation_;

    // The existing file is not deleted: the side file replaces it once it is complete.
    if (fs::fileExists(path) && promptOverwrite_ &&
        ui::MsgBox("Would you like to overwrite the file at: " + path + " ?", ui::vbYesNo + ui::vbInformation,
                   "Overwrite?") != ui::Answer::Yes)
      path = askNewName(path);

    signatureFailure_.clear();
    verifiedSignature_.clear();
    std::optional<veltrano::crypto::Sha256> digest;
    if (publicKey_) digest.emplace();
    std::int32_t existing = openSideFile(path, digest ? &*digest : nullptr);
    for (;;) {
      raiseStatusChange("Opening " + path + " For DATA Input.");
      inDownload_ = true;
      bytesReceived_ = 0;
      // A side file of the whole length (its run ended before the replacement) is only verified.
      const bool nothingLeft = existing > 0 && existing == fileSize_;
      if (!nothingLeft && runPasses(side_, chunk, existing, digest ? &*digest : nullptr) == PassEnd::Cancelled) {
        leaveSideFile(false);
        raiseCancelled();
        return;
      }
      // Only the whole file replaces the installed one.
      const std::int64_t onDisk = std::int64_t{existing} + bytesReceived_;
      if (onDisk != fileSize_)
        throw RuntimeError(err::kDeviceIOError, "DN",
                           "The body ended after " + std::to_string(onDisk) + " of " + std::to_string(fileSize_) +
                               " bytes.");
      if (!digest) break;
      signatureFailure_ = checkSignature(digest->finish());
      if (signatureFailure_.empty()) break;
      side_.discard();
      // Continued bytes that do not match may be damaged or of an older version of the file:
      // it is fetched once whole before it fails for good.
      if (existing > 0 && signatureFailure_ == kSignatureMismatch) {
        signatureFailure_.clear();
        requestFrom(0);
        side_.create(path);
        existing = 0;
        continue;
      }
      i1_.Cancel();
      raiseDLError("Signature Check Failed: " + signatureFailure_);
      raiseStatusChange("Download Aborted, Signature Check Failed!");
      raiseDLECode(8);
      return;
    }
    placeAndComplete();
  } catch (const RuntimeError& e) {
    failTransfer(e.number() == err::kDiskFull);
  } catch (const std::exception&) {
    failTransfer(false);
  }
}

// With a key, a side file that an earlier run or attempt left for `path` and that is not
// longer than the file is continued: the rest is asked for with a ranged request (none when
// nothing is left), and the digest is fed with the bytes already there. The side file starts
// afresh, on the pending reply, without a key, with a server that does not speak HTTP/1.1 and
// with a side file too long to be the beginning of this file; it starts afresh on the new reply
// when the server answers the range with the whole file (200). Returns the bytes it holds.
std::int32_t DN::openSideFile(const std::string& path, veltrano::crypto::Sha256* digest) {
  const std::string sidePath = fs::SideFile::pathFor(path);
  if (digest && resumeSupported_ && fs::fileExists(sidePath)) {
    const std::uint64_t length = fs::fileLength(sidePath);
    if (length > 0 && length <= static_cast<std::uint64_t>(std::max(fileSize_, 0))) {
      const auto existing = static_cast<std::int32_t>(length);
      if (existing == fileSize_) {
        i1_.Cancel();  // the pending body is not needed
      } else if (!requestFrom(existing)) {
        side_.create(path);
        return 0;
      }
      side_.resume(path, [digest](const std::uint8_t* data, std::size_t size) { digest->update(data, size); });
      return existing;
    }
  }
  side_.create(path);
  return 0;
}

// Drops the pending reply and asks for Url again from byte `offset` on (the whole file for 0);
// the reply's body is then pending. True for a partial reply (206) that starts at `offset`,
// false for the whole file (200); any other answer raises a transfer error.
bool DN::requestFrom(std::int32_t offset) {
  const std::string from = std::to_string(offset);
  i1_.Cancel();
  i1_.setURL(url_);  // fetching the signature named another address
  replyBodyTouched_ = false;
  i1_.Execute("", "GET", "", offset > 0 ? "Range: bytes=" + from + "-\r\n" : std::string());
  while (i1_.StillExecuting()) ui::DoEvents();
  const std::string code = text::Mid(i1_.GetHeader(), 10, 3);
  if (code == "200") return false;
  if (offset > 0 && code == "206" && i1_.GetHeader("Content-Range").rfind("bytes " + from + "-", 0) == 0) return true;
  throw RuntimeError(err::kDeviceIOError, "DN", "The server answered \"" + code + "\" for the file.");
}

void DN::PlaceFile() {
  try {
    if (!side_.complete()) throw RuntimeError(err::kFileNotFound, "DN", "No downloaded file waits to be placed.");
    placeAndComplete();
  } catch (const std::exception&) {
    failTransfer(false);
  }
}

void DN::DLResume() {
  if (cancelRequest_) return;
  if (connectionRuleFails()) return;

  DownloadFile file;
  try {
    i1_.setURL(url_);
    const std::int32_t chunk = chunk_ >= 2 ? chunk_ : kDefaultChunk;

    if (!fs::fileExists(saveLocation_)) {
      raiseDLError("Resume File Not Found!");
      raiseDLECode(6);
      raiseStatusChange("Resume File Not Found, Aborting Download!");
      return;
    }
    if (!resumeSupported_) {
      raiseDLError("Resume Not Supported!");
      raiseDLECode(7);
      raiseStatusChange("Resume NotSupported, Aborting Download!");
      return;
    }

    const std::int32_t existing = addLong(0, static_cast<std::int64_t>(fs::fileLength(saveLocation_)));
    const std::string offset = std::to_string(existing);
    replyBodyTouched_ = false;
    i1_.Execute("", "GET", "", "Range: bytes=" + offset + "-\r\n");
    ui::DoEvents();
    do {
      ui::DoEvents();
    } while (i1_.StillExecuting());

    // Only a partial reply that starts where the local file ends may be appended to it: a
    // server that ignores the range (200, the whole file) or refuses it (416, an error page)
    // would otherwise leave a corrupt file reported as complete.
    const std::string contentRange = i1_.GetHeader("Content-Range");
    if (text::Mid(i1_.GetHeader(), 10, 3) != "206" || contentRange.rfind("bytes " + offset + "-", 0) != 0)
      throw RuntimeError(err::kDeviceIOError, "DN", "The server did not resume the file at byte " + offset + ".");

    file.open(saveLocation_, true);
    raiseStatusChange("Opening " + saveLocation_ + " For DATA Input.");
    inDownload_ = true;
    bytesReceived_ = 0;

    if (runPasses(file, chunk, existing) == PassEnd::Cancelled) {
      file.close();
      raiseCancelled();
      return;
    }
    file.close();
    inDownload_ = false;
    i1_.Cancel();
    raiseDLComplete();
    raiseStatusChange("Download Successful!");
  } catch (const std::exception&) {
    file.closeQuietly();
    failTransfer(false);
  }
}

std::string DN::checkSignature(const veltrano::crypto::Digest& digest) {
  // A signature is 88 characters of base64; anything much longer is not one.
  constexpr std::size_t kMaxSignatureText = 4096;
  i1_.Cancel();
  i1_.Execute(url_ + ".sig", "GET");
  while (i1_.StillExecuting()) ui::DoEvents();
  const std::string header = i1_.GetHeader();
  if (header.empty()) throw RuntimeError(err::kDeviceIOError, "DN", "The signature could not be fetched.");
  const std::string code = text::Mid(header, 10, 3);
  if (code == "404") return kSignatureMissing;
  if (code.empty() || code[0] != '2') throw RuntimeError(err::kDeviceIOError, "DN", "The signature could not be fetched.");
  std::string body;
  veltrano::http::Bytes piece;
  do {
    i1_.GetChunk(1024, piece);
    body.append(piece.begin(), piece.end());
  } while (piece.size() > 1 && body.size() <= kMaxSignatureText);
  i1_.Cancel();
  const auto signature = body.size() <= kMaxSignatureText ? veltrano::crypto::base64Decode(body) : std::nullopt;
  if (!signature || signature->size() != veltrano::crypto::kSignatureBytes) return kSignatureMalformed;
  if (!veltrano::crypto::verify(*publicKey_, veltrano::crypto::Bytes(digest.begin(), digest.end()), *signature))
    return kSignatureMismatch;
  verifiedSignature_ = veltrano::crypto::base64Encode(*signature);
  return {};
}

template <class File>
DN::PassEnd DN::runPasses(File& file, std::int32_t chunk, std::int32_t existingLength, veltrano::crypto::Sha256* digest) {
  std::span<const std::uint8_t> data;
  do {
    if (cancelRequest_) {
      cancelRequest_ = false;
      return PassEnd::Cancelled;
    }

    replyBodyTouched_ = true;
    // Read in place from the transfer's buffer: written out before anything else may touch I1.
    data = i1_.ReadChunk(chunk);
    file.write(data.data(), data.size());
    if (digest) digest->update(data.data(), data.size());
    ui::DoEvents();

    bytesReceived_ = addLong(bytesReceived_, static_cast<std::int64_t>(data.size()));
    const std::int32_t onDisk = addLong(bytesReceived_, existingLength);

    // Seconds since the header query; the timer restarts at midnight.
    double elapsed = timer() - startTime_;
    if (elapsed < 0) elapsed += 86400.0;
    currentRate_ = toSingle(divide(bytesReceived_, elapsed));
    secondsLeft_ = toSingle(divide(static_cast<double>(fileSize_) - onDisk, currentRate_));

    raiseRate(RateText(currentRate_));
    ui::DoEvents();
    raiseTimeLeft(TimeLeftText(secondsLeft_));
    ui::DoEvents();
    raiseRecievedBytes(onDisk);
    ui::DoEvents();
    raisePercent(text::CLng(divide(onDisk, fileSize_) * 100));
    ui::DoEvents();
    raiseStatusChange("Recieving File, Inputting DATA to File.");
    ui::DoEvents();

    if (pause_) file.flush();  // a paused download is whole on disk up to its last report
    while (pause_) {
      ui::DoEvents();
      veltrano::clock().sleep(kPauseRestMs);
      raiseStatusChange("Paused.");
    }
  } while (data.size() > 1);
  return PassEnd::Complete;
}

void DN::raiseCancelled() {
  raiseDLECode(4);
  raiseStatusChange("Cancelled.");
}

// The side file replaces the target; the request is released before the events, since a
// DLComplete handler may start the next file's transfer on I1.
void DN::placeAndComplete() {
  side_.place();
  inDownload_ = false;
  i1_.Cancel();
  raiseDLComplete();
  raiseStatusChange("Download Successful!");
}

// The request is released before the events: a DLError handler may retry the same file at
// once (the in-download flag stays as it was).
void DN::failTransfer(bool diskFull) {
  leaveSideFile(diskFull);
  i1_.Cancel();
  raiseDLError("Error Downloading File from : " + url_);
  raiseStatusChange("Download Aborted Due To Error In Download!");
  raiseDLECode(1);
}

// What a transfer that ends without placing leaves: with a key, a side file holding bytes is
// kept for the next attempt or run to continue (the signature checks the joined file), except
// on a full disk or when its last bytes cannot be written, which keeps nothing; without a key it is discarded, so the target stays as it
// was and nothing is beside it. A complete side file whose replacement was refused stays for
// PlaceFile.
void DN::leaveSideFile(bool diskFull) {
  if (side_.complete()) return;
  if (publicKey_ && !diskFull && side_.length() > 0) {
    try {
      side_.flush();  // kept only with every byte it counts
      side_.keep();
      return;
    } catch (const RuntimeError&) {
    }
  }
  side_.discard();
}

void DN::Pause(bool& blnPause) {
  pause_ = blnPause;
  if (!blnPause) raiseStatusChange("Unpausing");
}

void DN::Cancel() {
  cancelRequest_ = true;
  raiseStatusChange("Cancelling..");
}

// --- Texts -----------------------------------------------------------------------------------

std::string DN::RateText(double r) {
  if (r >= 0 && r <= 1023) return text::FormatNumber(r, "0") + " Bytes/S";
  if (r >= 1024 && r <= 1048575) return text::NumberToText(text::RoundHalfEven(r / 1024, 2)) + " KB/S";
  return {};
}

std::string DN::TimeLeftText(float seconds) {
  const double s = seconds;
  if (s >= 0 && s <= 59) return text::FormatNumber(s, "0") + " sec";
  if (s >= 60 && s <= 3599)
    return text::FormatNumber(std::floor(s / 60), "#0") + " min " + text::FormatNumber(text::CLng(s) % 60, "0") +
           " sec";
  return text::FormatNumber(std::floor(s / 3600), "#0") + " hr " + text::FormatNumber(text::CLng(s / 60) % 60, "0") +
         " min";
}

std::string DN::KeepTypeFileName(std::string_view address, std::string_view path) {
  const std::u32string a = text::toU32(address);
  const std::u32string p = text::toU32(path);
  const std::size_t addressDot = extensionDot(a);
  const std::size_t pathDot = extensionDot(p);
  if (addressDot == std::u32string::npos || pathDot == std::u32string::npos) return std::string(path);
  return text::toUtf8(p.substr(0, pathDot + 1) + a.substr(addressDot + 1));
}

}  // namespace meridox
