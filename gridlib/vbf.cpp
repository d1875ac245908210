#include "lumagrid/vbf.h"

#include "common/number_checks.h"

namespace lumagrid {
namespace {
using veltrano::common::SeoulPrefix;
VARIANT_BOOL comBool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }
}  // namespace

std::string VBF::DF_FormatPhoneDetails(std::string& txt) {
  return veltrano::common::formatPhoneDetails(txt, SeoulPrefix::Padded);
}

VARIANT_BOOL VBF::ComNo_Check(std::string& IDno) { return comBool(veltrano::common::checkBusinessNumber(IDno)); }

VARIANT_BOOL VBF::IDNo_Check(std::string& IDno) { return comBool(veltrano::common::checkResidentNumber(IDno)); }

}  // namespace lumagrid
