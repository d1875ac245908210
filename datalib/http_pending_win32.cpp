// Windows, until the platform layer has its HTTP backend: the library carries the request
// object over a transport that cannot reach any server, so every transaction ends as one
// against an unreachable server does (status 0, empty reply, error path of the transaction).
// The build leaves this file out as soon as the platform layer offers the request object.
#include "platform/http/transfer.h"

namespace veltrano::http::detail {

Transfer::Transfer(BodySink sink) : sink_(std::move(sink)) {}
Transfer::~Transfer() = default;

void Transfer::start(const Request&) {
  cancel();
  easy_ = this;  // active
  finished_ = true;
  result_ = 1;
  errorBuffer_ = "no HTTP transport in this Windows build";
}

void Transfer::advance(int) {}

void Transfer::cancel() {
  easy_ = nullptr;
  finished_ = false;
  result_ = 0;
  errorBuffer_.clear();
}

bool Transfer::active() const { return easy_ != nullptr; }
bool Transfer::finished() const { return finished_; }
bool Transfer::succeeded() const { return finished_ && result_ == 0; }
bool Transfer::headersComplete() const { return false; }
bool Transfer::requestSent() const { return false; }
std::string Transfer::errorText() const { return errorBuffer_; }
std::string Transfer::statusText() const { return {}; }
std::string Transfer::header(std::string_view) const { return {}; }
void Transfer::resume() {}

}  // namespace veltrano::http::detail
