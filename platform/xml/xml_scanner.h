#pragma once
// A pull scanner over an XML document held in memory: it reports start and end tags, one at a
// time, with the element's name and its attributes as views into the text (nothing is copied
// or allocated per element), and checks well-formedness as it goes. Made for reading large
// documents whose structure the caller knows (a persisted recordset) faster and in less memory
// than building a DOM.
//
// What it checks: one document element, with only blanks, comments and processing
// instructions (the declaration included) around it; start and end tags that match; names
// made of XML name characters (letters, digits, '_', ':', '-', '.', and every non-ASCII byte,
// not starting with a digit, '-' or '.'); attributes as name = quoted value, separated by
// blanks, with no raw '<' in a value; text without raw control characters and with '&' only
// in well-formed references (&lt; &gt; &amp; &apos; &quot; &#N; &#xH;); comments, CDATA
// sections and processing instructions closed. A DOCTYPE is refused (so no DTD, no entity
// expansion). What it does not check: repeated attribute names, entities and UTF-8 inside
// attribute values (the caller decodes the values it uses, see decodeAttributeValue), and
// encodings (the text is UTF-8).
//
// Memory: a stack of open element names (views) and the attribute list of the current tag.
// Nesting depth costs one view per level; no recursion.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::xml {

struct ScannedAttribute {
  std::string_view name;
  std::string_view value;  // as written between the quotes: references not decoded
};

enum class ScanEvent { StartElement, EndElement, EndOfDocument };
enum class ScanError { None, NoDocumentElement, Malformed, Doctype };

class XmlScanner {
 public:
  explicit XmlScanner(std::string_view text);

  // The next start or end tag. An empty-element tag (<a/>) gives its StartElement and then
  // its EndElement. After the document element has ended and nothing but blanks, comments and
  // processing instructions follow, EndOfDocument. On a fault: EndOfDocument with failed().
  ScanEvent next();
  // Consumes the rest of the element whose StartElement was just returned, children
  // included. False on a fault.
  bool skipElement();

  bool failed() const { return error_ != ScanError::None; }
  ScanError error() const { return error_; }
  const std::string& description() const { return description_; }
  std::size_t errorOffset() const { return errorOffset_; }

  // The current tag: its name, attributes (StartElement only), depth (the document element
  // is 1; for an EndElement, the depth of the element that ended) and offset of its '<'.
  std::string_view name() const { return name_; }
  const std::vector<ScannedAttribute>& attributes() const { return attributes_; }
  std::size_t depth() const { return depth_; }
  std::size_t offset() const { return tagOffset_; }
  // The offset in the text of a view returned by the scanner.
  std::size_t offsetOf(std::string_view piece) const { return static_cast<std::size_t>(piece.data() - text_.data()); }

 private:
  ScanEvent fail(ScanError error, std::size_t offset, std::string description);
  bool skipText(std::size_t end);
  bool readName(std::string_view& name);
  ScanEvent startTag();
  ScanEvent endTag();

  std::string_view text_;
  std::size_t pos_ = 0;
  std::vector<std::string_view> open_;
  std::vector<ScannedAttribute> attributes_;
  std::string_view name_;
  std::size_t depth_ = 0;
  std::size_t tagOffset_ = 0;
  bool pendingEnd_ = false;
  bool rootSeen_ = false;
  ScanError error_ = ScanError::None;
  std::string description_;
  std::size_t errorOffset_ = 0;
};

// Decodes an attribute value as the scanner returns it: the five predefined entities and
// character references (any code point up to U+10FFFF but the surrogates, U+0000 included)
// become UTF-8; TAB, CR and LF are kept as they stand (no normalisation to blanks). `out` must
// have room for value.size() bytes (the decoded form is never longer). Returns
// std::string_view::npos and sets `written`, or the offset in `value` of the first fault (a
// raw '<', a control character, bytes that are not UTF-8, a malformed or unknown reference)
// and sets `why`.
std::size_t decodeAttributeValue(std::string_view value, char* out, std::size_t& written, const char*& why);

}  // namespace veltrano::xml
