#pragma once
// The faults injected by tests (injectFault), shared by the registry's backends.

#include <string_view>

namespace veltrano::reg {

// The code of the next injected fault for `operation`, or ERROR_SUCCESS; counts it off.
long takeInjectedFault(std::string_view operation);

}  // namespace veltrano::reg
