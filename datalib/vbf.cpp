#include "lumadata/vbf.h"

#include <exception>

#include "lumadata/registry.h"
#include "notify_monitor.h"
#include "platform/deploy/deploy.h"
#include "platform/http/url.h"
#include "platform/runtime/error.h"
#include "platform/text/vbstring.h"
#include "tmr_frm.h"
#include "transaction.h"

namespace lumadata {

namespace ado = veltrano::ado;
namespace text = veltrano::text;
using veltrano::Variant;

namespace {

constexpr std::int64_t kTextFieldSize = 65534;

std::string appHostUrl() { return veltrano::http::withScheme(veltrano::deploy::get("APP_HOST")); }

// The server address from the registry, or the default data service address.
std::string configuredServerUrl() {
  REGISTRY reg;
  reg.HKEY(HKEY_CURRENT_USER);
  reg.KeyPath("SOFTWARE\\VELTRANO\\ORVEX");
  reg.KeyName("SERVER");
  reg.KeyValue("SERVER_PATH");
  const std::string path = text::Trim(reg.GetRegistry());
  return path.empty() ? appHostUrl() + "/Database/ORVEX/" : path;
}

ado::RecordsetPtr newRequest() {
  auto rs = ado::Recordset::create();
  rs->setCursorLocation(ado::adUseClient);
  return rs;
}

}  // namespace

VBF::VBF() = default;

VBF::~VBF() {
  try {
    NotifyMonitor("TR_COMPLETE|");
    request_.reset();
  } catch (...) {
  }
}

Variant VBF::DB_OPEN(std::string_view DATABASE_Str, std::string_view DBConnectionType) {
  NotifyMonitor("TR_OPEN|");
  connectionType_ = DBConnectionType == "XML" ? "XML" : "DIRECT";
  databaseName_ = std::string(DATABASE_Str);
  serverUrl_ = configuredServerUrl();
  return Variant();
}

Variant VBF::DB_ADD(std::string_view SQLSTR, const Variant& BytesArray) {
  try {
    request_ = newRequest();
    request_->Fields().Append("SQL", ado::adVarChar, kTextFieldSize);
    request_->Fields().Append("DATABASE", ado::adVarChar, kTextFieldSize);
    request_->Fields().Append("BYTESDATA", ado::adVariant, 0);
    request_->Open();
    request_->AddNew();
    request_->Fields("SQL").setValue(Variant(std::string(SQLSTR)));
    request_->Fields("DATABASE").setValue(Variant(databaseName_));
    request_->Fields("BYTESDATA").AppendChunk(BytesArray);
  } catch (const std::exception&) {
    // The request stays as far as it was built.
  }
  return Variant();
}

ado::RecordsetPtr VBF::EXECUTE(const Dictionary* Param, std::string_view URL) {
  try {
    serverUrl_ = appHostUrl() + "/ORVEX/" + std::string(URL) + ".ASP";
    auto request = newRequest();
    request_ = request;
    request->Fields().Append("DATABASE", ado::adVarChar, kTextFieldSize);
    if (!Param) {
      request->Open();
      request->AddNew();
      request->Fields("DATABASE").setValue(Variant(databaseName_));
    } else {
      const std::vector<std::string> keys = Param->Keys();
      const long count = Param->Count();
      for (long i = 0; i < count; ++i) request->Fields().Append(text::UCase(keys.at(static_cast<std::size_t>(i))), ado::adVarChar, kTextFieldSize);
      request->Open();
      request->AddNew();
      request->Fields("DATABASE").setValue(Variant(databaseName_));
      for (long i = 0; i < count; ++i) {
        const std::string& key = keys.at(static_cast<std::size_t>(i));
        if (Param->Exists(key)) request->Fields(text::UCase(key)).setValue(Param->Item(key));
      }
    }
    request->Update();
    VARIANT_BOOL fine = VARIANT_FALSE;
    return transact(request, fine);
  } catch (const std::exception&) {
    return nullptr;
  }
}

ado::RecordsetPtr VBF::DB_EXECUTE(VARIANT_BOOL* FINE_FLAG) {
  if (!request_) throw veltrano::RuntimeError(veltrano::err::kObjectNotSet, "Lumadata.VBF");
  request_->Update();
  VARIANT_BOOL unused = VARIANT_FALSE;
  return transact(request_, FINE_FLAG ? *FINE_FLAG : unused);
}

ado::RecordsetPtr VBF::transact(const ado::RecordsetPtr& request, VARIANT_BOOL& flag) {
  // The watchdog guards this transaction's wait only; it goes when the transaction ends.
  TMR_FRM watchdog;
  watchdog.ClosedThisProcesure = [this] { TMR_ClosedThisProcesure(); };
  watchdog.Load();
  const ado::RecordsetPtr held = request;  // kept alive even if a re-entered DB_ADD replaces it
  return RunTransaction(held, serverUrl_, abort_, flag, &watchdog);
}

void VBF::TMR_ClosedThisProcesure() {
  NotifyMonitor("TR_TIMEOUT|");
  abort_ = VARIANT_TRUE;
}

}  // namespace lumadata
