#include "platform/odbc/odbc_api.h"

#include <stdexcept>

#include "platform/runtime/error.h"
#ifndef _WIN32
#include "platform/runtime/shared_library.h"
#endif

namespace veltrano::odbc {
namespace {

Api load() {
  Api calls;
#ifdef _WIN32
#define VELTRANO_ODBC_TAKE(name) calls.name = &::name;
#else
  static const SharedLibrary library(VELTRANO_ODBC_SONAME);
#define VELTRANO_ODBC_TAKE(name) library.resolve(calls.name, #name);
#endif
  VELTRANO_ODBC_CALLS(VELTRANO_ODBC_TAKE)
#undef VELTRANO_ODBC_TAKE
  return calls;
}

}  // namespace

const Api& api() {
  try {
    static const Api calls = load();
    return calls;
  } catch (const std::runtime_error& e) {
    throw RuntimeError(err::kAutomationError, "Microsoft OLE DB Provider for ODBC Drivers",
                       std::string("the ODBC driver manager is not available: ") + e.what());
  }
}

}  // namespace veltrano::odbc
