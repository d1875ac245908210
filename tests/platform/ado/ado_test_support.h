#pragma once
// Helpers of the recordset suites: the sample documents kept byte-exact beside the tests, and
// small checks of run-time errors.

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/ado/recordset.h"
#include "platform/runtime/error.h"

namespace veltrano::ado::test {

// A sample document from tests/platform/ado/data, as its bytes.
inline std::string sample(const std::string& name) {
  std::ifstream in(std::string(VELTRANO_ADO_SAMPLES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The number of the RuntimeError `f` raises, 0 when it raises none.
inline int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

inline RecordsetPtr opened(const std::string& xml) {
  RecordsetPtr rs = Recordset::create();
  rs->OpenXml(xml);
  return rs;
}

// The part of a document from "<rs:data>" on.
inline std::string dataSection(const std::string& xml) { return xml.substr(xml.find("<rs:data>")); }

}  // namespace veltrano::ado::test
