#include "transaction.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "error_window.h"
#include "notify_monitor.h"
#include "platform/http/http_request.h"
#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "platform/ui/user_interface.h"
#include "tmr_frm.h"

namespace lumadata {

namespace ado = veltrano::ado;
namespace text = veltrano::text;
using veltrano::http::HttpRequest;

namespace {

constexpr std::int16_t kTrue = -1;

TransactionFaultHook& faultHook() {
  static TransactionFaultHook hook;
  return hook;
}

void step(std::string_view name) {
  if (faultHook()) faultHook()(name);
}

// The error path's notices: one per character of the reply text, over as many characters as
// the text has without its leading and trailing blanks.
void notifyErrorText(const std::string& reply) {
  const std::size_t n = text::Len(text::Trim(reply));
  if (n == 0) return;
  const std::u32string chars = text::toU32(reply);
  for (std::size_t k = 1; k <= n && k <= chars.size(); ++k) {
    std::string notice = "TR_ERR|" + std::to_string(k) + "|";
    text::appendUtf8(notice, chars[k - 1]);
    notice.push_back('\0');
    NotifyMonitor(notice);
  }
}

bool bytesBeginWith(const veltrano::http::Bytes& body, std::string_view prefix) {
  return body.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), body.begin(), [](char p, std::uint8_t b) { return static_cast<std::uint8_t>(p) == b; });
}

// Whether the reply text begins with the server's error prefix. The text is UTF-8 or CP949 as
// the reply declares (HttpRequest::responseText); it can begin with the prefix only when the
// bytes begin with the prefix in one of the two, and only then is the whole reply decoded to
// be sure, so an ordinary rowset reply is not converted for nothing.
bool beginsWithServerError(const HttpRequest& http) {
  static const std::string ansiPrefix = text::toAnsiString(kServerErrorPrefix);
  const auto& body = http.responseBody();
  if (!bytesBeginWith(body, kServerErrorPrefix) && !bytesBeginWith(body, ansiPrefix)) return false;
  return http.responseText().starts_with(kServerErrorPrefix);
}

}  // namespace

std::size_t utf16Length(std::string_view utf8) {
  // One unit per character, two for a character beyond the BMP (a four-byte sequence): count
  // the bytes that start a sequence, and the four-byte leads once more.
  std::size_t units = 0;
  for (char c : utf8) {
    const auto b = static_cast<std::uint8_t>(c);
    units += ((b & 0xC0) != 0x80) + (b >= 0xF0);
  }
  return units;
}

void setTransactionFaultHook(TransactionFaultHook hook) { faultHook() = std::move(hook); }

ado::RecordsetPtr RunTransaction(const ado::RecordsetPtr& request, const std::string& serverUrl,
                                 const std::int16_t& abortFlag, std::int16_t& FINE_FLAG, TMR_FRM* watchdog) {
  // The request object lives outside the guarded part so that the error path can read
  // whatever reply came in.
  HttpRequest http;
  ado::RecordsetPtr result;
  try {
    if (!request) throw veltrano::RuntimeError(veltrano::err::kObjectNotSet, "Lumadata");
    const std::string xml = request->SaveXml();
    step("saved");
    const std::string length = std::to_string(2 * utf16Length(xml));
    NotifyMonitor("TR_START|" + length);

    http.open("POST", serverUrl, true);
    http.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
    http.setRequestHeader("Charset", "euc-kr");
    http.setRequestHeader("Pragma", "no-cache");
    http.setRequestHeader("Expires", "0");
    step("opened");
    NotifyMonitor("TR_WAIT|" + length);
    http.send(xml);
    step("sent");

    bool complete;
    while (!(complete = http.readyState() == HttpRequest::kCompleted)) {
      veltrano::ui::DoEvents();
      if (abortFlag) break;
    }
    // A wait ended by the abort flag leaves whatever came in so far: a status line and part of
    // a body are not a reply, so it is dropped (status 0) rather than opened as if complete.
    if (!complete) http.abort();
    if (watchdog) watchdog->Unload();
    NotifyMonitor("TR_RECVED|");
    step("received");

    if (http.status() != 200) {
      ShowErrorWindow(http.responseText());
      return nullptr;
    }
    if (beginsWithServerError(http)) ShowErrorWindow(http.responseText());
  } catch (const std::exception&) {
    // The error path: from here on errors are ignored.
    if (watchdog) watchdog->Unload();
    try {
      notifyErrorText(http.responseText());
    } catch (...) {
    }
    return nullptr;
  }

  // From here on run-time errors are skipped: the statement that fails is passed over.
  try {
    result = ado::Recordset::create();
  } catch (const std::exception&) {
  }
  try {
    if (result) {
      const auto& body = http.responseBody();
      result->OpenStream(std::span<const std::uint8_t>(body.data(), body.size()), ado::adOpenDynamic,
                         ado::adLockOptimistic, 64);
    }
  } catch (const std::exception&) {
    // A reply that is not a rowset leaves the recordset closed.
  }
  NotifyMonitor("TR_COMPLETE|");
  FINE_FLAG = kTrue;
  return result;
}

}  // namespace lumadata
