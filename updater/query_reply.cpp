#include "updater/query_reply.h"

#include "platform/runtime/error.h"
#include "platform/text/ansi.h"
#include "platform/text/vbstring.h"
#include "updater/query_protocol.h"

namespace meridox {

namespace ado = veltrano::ado;
namespace text = veltrano::text;

namespace {

ado::RecordsetPtr oneFieldRecordset(const char* fieldName) {
  auto rs = ado::Recordset::create();
  rs->setCursorLocation(ado::adUseClient);
  rs->Fields().Append(fieldName, ado::adVarChar, 65534);
  rs->Open();
  return rs;
}

}  // namespace

ado::RecordsetPtr NoRowsRecordset() { return oneFieldRecordset(kNoRowsField); }

ado::RecordsetPtr FailureRecordset(std::string_view replyText) {
  auto rs = oneFieldRecordset(kFailureField);
  rs->AddNew();
  rs->Fields(0).setValue(veltrano::Variant(text::Trim(replyText).empty() ? std::string(kUnreachableText)
                                                                          : std::string(replyText)));
  rs->Update();
  return rs;
}

ReplyForm ClassifyReply(std::string_view statement, std::string_view replyText) {
  if (IsModifyingStatement(statement)) return ReplyForm::ChangeDone;
  if (replyText == kNoRowsReply) return ReplyForm::NoRows;
  if (replyText.find(kRowsetStylesheet) != std::string_view::npos) return ReplyForm::Rows;
  return ReplyForm::Failure;
}

QueryResult ReadQueryReply(std::string_view statement, std::span<const std::uint8_t> body, ReplyForm& form) {
  const std::string reply = text::fromAnsi(body);
  form = ClassifyReply(statement, reply);
  switch (form) {
    case ReplyForm::ChangeDone: return QueryResult::True();
    case ReplyForm::NoRows: return QueryResult::Of(NoRowsRecordset());
    case ReplyForm::Rows: {
      // The recordset exists before it is opened: a reply that is not a readable rowset
      // leaves it closed, and that closed recordset is the result.
      QueryResult result = QueryResult::Of(ado::Recordset::create());
      result.recordset->setCursorLocation(ado::adUseClient);
      try {
        result.recordset->OpenXml(reply, ado::adOpenStatic, ado::adLockOptimistic);
      } catch (const veltrano::RuntimeError&) {
      }
      return result;
    }
    case ReplyForm::Failure: break;
  }
  return QueryResult::Of(FailureRecordset(reply));
}

}  // namespace meridox
