// Windows: the print preview (SPREADPRT) and the column setup window (SPREADSET) are Qt windows
// and exist on Linux only. Loading either raises run-time error 429, as loading them without a
// display does on Linux, with a description that says why; nothing else of them is reachable.
#include "spreadprt.h"
#include "spreadset.h"
#include "spreadtmp.h"

#include "platform/runtime/error.h"

namespace lumagrid {

namespace {
constexpr int kCannotCreateObject = 429;

[[noreturn]] void linuxOnly(const char* source, const char* window) {
  throw veltrano::RuntimeError(kCannotCreateObject, source,
                               std::string("ActiveX component can't create object: the ") + window +
                                   " is not available in the Windows build of Lumagrid (Linux only)");
}
}  // namespace

SPREADPRT::SPREADPRT() : window_(nullptr) {}
SPREADPRT::~SPREADPRT() = default;
SPREADPRT& SPREADPRT::Load() { linuxOnly("SPREADPRT", "print preview window"); }
SPREADPRT* SPREADPRT::Loaded() { return nullptr; }
void SPREADPRT::Unload() { SPREADTMP::Unload(); }
void SPREADPRT::setPreviewGrid(veltrano::ui::Hwnd) { linuxOnly("SPREADPRT", "print preview window"); }
void SPREADPRT::Show() { linuxOnly("SPREADPRT", "print preview window"); }

SPREADSET::SPREADSET() : window_(nullptr) {}
SPREADSET::~SPREADSET() = default;
SPREADSET& SPREADSET::Load() { linuxOnly("SPREADSET", "column setup window"); }
SPREADSET* SPREADSET::Loaded() { return nullptr; }
void SPREADSET::Unload() {}
void SPREADSET::Show() { linuxOnly("SPREADSET", "column setup window"); }

}  // namespace lumagrid
