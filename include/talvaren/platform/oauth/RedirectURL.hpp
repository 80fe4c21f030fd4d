#pragma once
// A callback URL taken apart: scheme, authority, path, query and fragment, each as written.

#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/oauth/Signature.hpp"

namespace talvaren::platform::oauth {

struct RedirectURL {
  std::string scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  /// None when `text` has no scheme (letters, digits, "+-." after a leading letter, then ":").
  static std::optional<RedirectURL> parse(std::string_view text);

  /// True when scheme, authority and path are the same text as `other`'s (case counts).
  bool sameEndpoint(const RedirectURL& other) const {
    return scheme == other.scheme && authority == other.authority && path == other.path;
  }

  /// The items of the fragment, then of the query; none when either holds a malformed escape.
  std::optional<ParameterList> items() const;
};

/// The value of the first item named `name`.
std::optional<std::string> firstValue(const ParameterList& items, std::string_view name);

}  // namespace talvaren::platform::oauth
