// The streaming XML scanner under the recordset reader: the events it reports and the faults
// it finds, with their offsets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/xml/xml_scanner.h"

namespace veltrano::xml {
namespace {

// Every event as text: "<name a=v>" for a start, "</name>" for an end, "." at the end.
std::string events(std::string_view text) {
  XmlScanner s(text);
  std::string log;
  for (;;) {
    const ScanEvent e = s.next();
    if (e == ScanEvent::EndOfDocument) break;
    if (e == ScanEvent::StartElement) {
      log += "<" + std::string(s.name());
      for (const auto& a : s.attributes()) log += " " + std::string(a.name) + "=" + std::string(a.value);
      log += ">";
    } else {
      log += "</" + std::string(s.name()) + ">";
    }
  }
  if (s.failed()) log += "!";
  return log + ".";
}

TEST(XmlScanner, ReportsTagsAndRawAttributeValues) {
  EXPECT_EQ(events("<?xml version='1.0'?>\r\n<?xml:stylesheet type=\"text/xsl\"?><!-- c -->"
                   "<a x='1' y = \"t&amp;\tu\"><b/>text<![CDATA[<raw>]]><c:d/></a>\r\n<!-- end -->"),
            "<a x=1 y=t&amp;\tu><b></b><c:d></c:d></a>.");
  XmlScanner s("<a><b><c/></b></a>");
  s.next();
  s.next();
  EXPECT_EQ(s.name(), "b");
  EXPECT_EQ(s.depth(), 2u);
  EXPECT_TRUE(s.skipElement());
  EXPECT_EQ(s.next(), ScanEvent::EndElement);
  EXPECT_EQ(s.name(), "a");
  EXPECT_EQ(s.next(), ScanEvent::EndOfDocument);
  EXPECT_FALSE(s.failed());
}

TEST(XmlScanner, FaultsAndWhereTheyAre) {
  struct Case {
    const char* text;
    ScanError error;
    std::size_t offset;
  } cases[] = {
      {"", ScanError::NoDocumentElement, 0},
      {"  <!-- only -->  ", ScanError::NoDocumentElement, 17},
      {"x<a/>", ScanError::Malformed, 0},
      {"<a/>x", ScanError::Malformed, 4},
      {"<a/><b/>", ScanError::Malformed, 4},
      {"<a><b></a>", ScanError::Malformed, 6},
      {"<a>", ScanError::Malformed, 3},
      {"<a x='1'y='2'/>", ScanError::Malformed, 8},
      {"<a x=1/>", ScanError::Malformed, 5},
      {"<a x='1/>", ScanError::Malformed, 6},
      {"<a x='<'/>", ScanError::Malformed, 6},
      {"<a x/>", ScanError::Malformed, 4},
      {"<1a/>", ScanError::Malformed, 1},
      {"<a>&nope;</a>", ScanError::Malformed, 3},
      {"<a>a & b</a>", ScanError::Malformed, 5},
      {"<a>\x01</a>", ScanError::Malformed, 3},
      {"<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", ScanError::Doctype, 0},
      {"<a><!DOCTYPE a></a>", ScanError::Doctype, 3},
      {"<a><!ELEMENT a ANY></a>", ScanError::Malformed, 3},
      {"<![CDATA[x]]><a/>", ScanError::Malformed, 0},
      {"<a><![CDATA[x</a>", ScanError::Malformed, 3},
      {"<a><!-- x</a>", ScanError::Malformed, 3},
      {"<?pi <a/>", ScanError::Malformed, 0},
      {"<a/ >", ScanError::Malformed, 2},
      {"<a></ a>", ScanError::Malformed, 5},
  };
  for (const Case& c : cases) {
    XmlScanner s(c.text);
    while (s.next() != ScanEvent::EndOfDocument) {
    }
    EXPECT_EQ(s.error(), c.error) << c.text;
    EXPECT_EQ(s.errorOffset(), c.offset) << c.text << ": " << s.description();
    EXPECT_FALSE(s.description().empty()) << c.text;
  }
}

TEST(XmlScanner, DeepNestingNeedsNoRecursion) {
  std::string deep;
  for (int i = 0; i < 300000; ++i) deep += "<e>";
  for (int i = 0; i < 300000; ++i) deep += "</e>";
  XmlScanner s(deep);
  std::size_t most = 0, events = 0;
  while (s.next() != ScanEvent::EndOfDocument) {
    most = std::max(most, s.depth());
    ++events;
  }
  EXPECT_FALSE(s.failed());
  EXPECT_EQ(most, 300000u);
  EXPECT_EQ(events, 600000u);
}

TEST(XmlScanner, AttributeValuesDecodeWithoutNormalising) {
  struct Case {
    std::string_view raw;
    std::string decoded;  // empty with `bad` set when refused
    std::size_t bad;
  } cases[] = {
      {"plain", "plain", std::string_view::npos},
      {"tab\tcr\rlf\n", "tab\tcr\rlf\n", std::string_view::npos},
      {"&lt;&gt;&amp;&apos;&quot;", "<>&'\"", std::string_view::npos},
      {"&#x27;&#39;&#xD55C;&#x1F600;", "''한😀", std::string_view::npos},
      {"nul&#x0;!", std::string("nul\0!", 5), std::string_view::npos},
      {"한글", "한글", std::string_view::npos},
      {"a<b", "", 1},
      {"a\x01", "", 1},
      {"\xC0\x80", "", 0},
      {"ok\xED\xA0\x80", "", 2},
      {"&bogus;", "", 0},
      {"x&#xD800;", "", 1},
      {"x&#x110000;", "", 1},
      {"&#;", "", 0},
      {"&#12a;", "", 0},
      {"& ", "", 0},
  };
  for (const Case& c : cases) {
    std::string out(c.raw.size(), '\0');
    std::size_t written = 0;
    const char* why = nullptr;
    const std::size_t bad = decodeAttributeValue(c.raw, out.data(), written, why);
    EXPECT_EQ(bad, c.bad) << c.raw;
    if (bad == std::string_view::npos) {
      EXPECT_EQ(out.substr(0, written), c.decoded) << c.raw;
    } else {
      EXPECT_NE(why, nullptr) << c.raw;
    }
  }
}

}  // namespace
}  // namespace veltrano::xml
