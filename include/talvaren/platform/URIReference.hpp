#pragma once
// A URI reference (RFC 3986) split into its five parts, each as written; nothing is decoded or checked.

#include <optional>
#include <string>
#include <string_view>

namespace talvaren::platform {

struct URIReference {
  /// Letters, digits and "+-." after a leading letter, before the first ":" (none for a relative reference).
  std::optional<std::string> scheme;
  /// What follows "//", up to the next "/", "?" or "#".
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  static URIReference split(std::string_view text);
  /// The parts put back together.
  std::string text() const;
};

}  // namespace talvaren::platform
