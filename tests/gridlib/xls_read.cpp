#include "xls_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/text/ansi.h"
#include "support/test_support.h"

namespace printjob_test {

namespace {

// A double as Python's repr writes it: the shortest digits that read back, positional from
// 1e-4 up to 1e16 (with ".0" when whole), else d.ddde+XX.
std::string pythonRepr(double v) {
  char buf[64];
  const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr;
  const std::string s(buf, end);  // "-1.234e+06"
  if (s == "inf" || s == "-inf" || s.find("nan") != std::string::npos) return s;
  const std::size_t e = s.find('e');
  const int exponent = std::atoi(s.c_str() + e + 1);
  const bool negative = s[0] == '-';
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e; ++i)
    if (s[i] != '.') digits += s[i];
  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= 16) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += exponent < 0 ? "e-" : "e+";
    const std::string mag = std::to_string(std::abs(exponent));
    out += (mag.size() < 2 ? "0" : "") + mag;
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) out += digits + std::string(whole - digits.size(), '0') + ".0";
    else out += digits.substr(0, whole) + "." + digits.substr(whole);
  }
  return out;
}

struct Cell {
  std::string type, value;
  std::uint8_t attr[3] = {0, 0, 0};
};

std::uint16_t u16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// A byte-counted CP949 text at `at`, as UTF-8; false when the record is too short for it.
bool countedText(const std::string& body, std::size_t at, std::string& out) {
  if (at >= body.size()) return false;
  const std::size_t n = static_cast<unsigned char>(body[at]);
  if (at + 1 + n > body.size()) return false;
  out = veltrano::text::fromAnsi(std::string_view(body).substr(at + 1, n));
  return true;
}

}  // namespace

std::string biff2Dump(const std::filesystem::path& file) {
  const std::string bytes = veltrano::test::readFile(file);
  const auto error = [](const std::string& what) { return "error\t" + what + "\n"; };
  if (bytes.size() < 4 || u16(bytes, 0) != 0x0009) return error("not a BIFF2 worksheet");
  int biff = 21;  // xlrd counts a BIFF2 file without format records as version 2.0 once it meets a cell
  int codePage = 0;
  std::map<std::pair<int, int>, Cell> cells;
  std::vector<std::string> fonts;
  std::map<int, int> widths;
  for (std::size_t at = 0; at + 4 <= bytes.size();) {
    const std::uint16_t id = u16(bytes, at);
    const std::size_t n = u16(bytes, at + 2);
    if (at + 4 + n > bytes.size()) return error("a record cut short");
    const std::string body = bytes.substr(at + 4, n);
    at += 4 + n;
    if (id == 0x000A) break;  // end of file
    if (id == 0x002F) return error("Workbook is encrypted");
    if (id == 0x0042 && n >= 2) {
      codePage = u16(body, 0);
      if (codePage != 949) return error("code page " + std::to_string(codePage) + " is not read here");
    } else if ((id == 0x0002 && n >= 9) || (id == 0x0003 && n >= 15) || (id == 0x0004 && n >= 8)) {
      // Row, column, three attribute bytes, then the value.
      Cell c;
      std::memcpy(c.attr, body.data() + 4, 3);
      if (id == 0x0004) {
        c.type = "text";
        if (!countedText(body, 7, c.value)) return error("a text cell cut short");
      } else {
        double v = u16(body, 7);
        if (id == 0x0003) std::memcpy(&v, body.data() + 7, 8);
        c.type = "number";
        c.value = pythonRepr(v);
      }
      biff = 20;
      cells[{u16(body, 0), u16(body, 2)}] = c;
    } else if (id == 0x0031 && n >= 5) {
      if (fonts.size() == 4) fonts.push_back("Dummy Font\t0\t0\t0\t0\t0");  // the reader leaves index 4 out
      std::string name;
      if (!countedText(body, 4, name)) return error("a font cut short");
      const int flags = u16(body, 2);
      fonts.push_back(name + "\t" + std::to_string(u16(body, 0)) + "\t" + std::to_string(flags & 1) + "\t" +
                      std::to_string((flags >> 1) & 1) + "\t" + std::to_string((flags >> 2) & 1) + "\t" +
                      std::to_string((flags >> 3) & 1));
    } else if (id == 0x0024 && n >= 4) {
      const int first = static_cast<unsigned char>(body[0]), last = static_cast<unsigned char>(body[1]);
      for (int c = first; c <= last; ++c) widths[c] = u16(body, 2);
    }
  }
  if (codePage == 0) return error("no code page record");  // texts are read as code page 949 only
  std::ostringstream out;
  out << "biff\t" << biff << "\n";
  out << "encoding\tcp" << codePage << "\n";
  for (const auto& [at, c] : cells) {
    std::string borders;
    for (int mask : {0x08, 0x10, 0x20, 0x40}) borders += (c.attr[2] & mask) ? '1' : '0';
    out << "cell\t" << at.first << "\t" << at.second << "\t" << c.type << "\t" << c.value << "\t"
        << ((c.attr[1] & 0xC0) >> 6) << "\t" << (c.attr[2] & 0x07) << "\t" << ((c.attr[0] & 0x40) >> 6) << "\t"
        << ((c.attr[0] & 0x80) >> 7) << "\t" << borders << "\t" << ((c.attr[2] & 0x80) >> 7) << "\n";
  }
  for (std::size_t i = 0; i < fonts.size(); ++i) out << "font\t" << i << "\t" << fonts[i] << "\n";
  for (const auto& [c, w] : widths) out << "width\t" << c << "\t" << w << "\n";
  return out.str();
}

std::string xlsDump(const std::filesystem::path& file) {
#ifdef _WIN32
  return biff2Dump(file);
#else
  const auto result = veltrano::test::run("/usr/bin/python3 " XLS_DUMP_SCRIPT " '" + file.string() + "' 2>&1");
  if (result.exitCode != 0) return "error\txlrd failed: " + result.out + "\n";
  EXPECT_EQ(biff2Dump(file), result.out) << "our reader, which the Windows tests use, reads " << file
                                         << " otherwise than xlrd";
  return result.out;
#endif
}

int XlsRead::rows() const {
  int n = 0;
  for (const auto& [at, cell] : cells) n = std::max(n, at.first + 1);
  return n;
}

int XlsRead::cols() const {
  int n = 0;
  for (const auto& [at, cell] : cells) n = std::max(n, at.second + 1);
  return n;
}

std::string XlsRead::text(int row, int col) const {
  auto it = cells.find({row, col});
  return it == cells.end() ? "" : it->second.value;
}

std::vector<std::vector<std::string>> xlsDumpFields(const std::filesystem::path& file) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(xlsDump(file));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ls(line);
    std::string part;
    while (std::getline(ls, part, '\t')) f.push_back(part);
    if (!f.empty()) lines.push_back(std::move(f));
  }
  return lines;
}

XlsRead readXls(const std::filesystem::path& file) {
  XlsRead read;
  for (const std::vector<std::string>& f : xlsDumpFields(file)) {
    if (f[0] == "error") {
      read.error = f.size() > 1 ? f[1] : "?";
    } else if (f[0] == "cell" && f.size() >= 7) {
      XlsCell c{f[3], f[4], std::atoi(f[5].c_str()), std::atoi(f[6].c_str())};
      read.cells[{std::atoi(f[1].c_str()), std::atoi(f[2].c_str())}] = c;
    } else if (f[0] == "font" && f.size() >= 3) {
      std::string rest;
      for (std::size_t i = 2; i < f.size(); ++i) rest += (i > 2 ? " " : "") + f[i];
      read.fonts.push_back(rest);
    }
  }
  return read;
}

}  // namespace printjob_test
