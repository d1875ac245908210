#include "transaction.h"

#include <exception>
#include <utility>

#include "error_window.h"
#include "notify_monitor.h"
#include "platform/http/http_request.h"
#include "platform/runtime/error.h"
#include "platform/ui/user_interface.h"
#include "tmr_frm.h"
#include "transaction_reply.h"

namespace lumadata {

namespace ado = veltrano::ado;
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

// Whether the reply text begins with the server's error prefix; the whole reply is decoded only
// when its bytes may begin with it, so an ordinary rowset reply is not converted for nothing.
bool beginsWithServerError(const HttpRequest& http) {
  const auto& body = http.responseBody();
  return MayBeginWithServerError(std::span<const std::uint8_t>(body.data(), body.size())) &&
         http.responseText().starts_with(kServerErrorPrefix);
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
      for (const std::string& notice : ErrorTextNotices(http.responseText())) NotifyMonitor(notice);
    } catch (...) {
    }
    return nullptr;
  }

  const auto& body = http.responseBody();
  result = OpenReply(std::span<const std::uint8_t>(body.data(), body.size()));
  NotifyMonitor("TR_COMPLETE|");
  FINE_FLAG = kTrue;
  return result;
}

}  // namespace lumadata
