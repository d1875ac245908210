#pragma once
// Addresses made from settings: a setting that names a host (QUERY_HOST, APP_HOST, a catalogue
// sourcepath) may begin with "http://" or "https://" (scheme in any case); without one it is
// reached by plain HTTP.

#include <string>
#include <string_view>

namespace veltrano::http {

// `hostAndPath` with its scheme in lower case when it has one of the two, else "http://" in
// front: "Example.com:8080/x" -> "http://Example.com:8080/x", "HTTPS://h/x" -> "https://h/x".
std::string withScheme(std::string_view hostAndPath);

// The address as it goes on the wire: blanks, control characters and bytes beyond ASCII (a
// Korean folder name in UTF-8) percent-encoded, as the system's own HTTP stack does before it
// sends a request; everything else, "%" escapes included, kept as given.
std::string encodedForTransport(std::string_view url);

}  // namespace veltrano::http
