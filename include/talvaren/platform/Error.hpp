#pragma once
// The error value that crosses the kit's boundary: a domain text, an integer code and a user-info
// dictionary, shaped like the platform error object the host expects.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvaren {

/// Raw bytes as they travel over the radio, the network or the disk.
using Bytes = std::vector<std::uint8_t>;

struct Error {
  /// User-info key whose text value is the error's localised description.
  static constexpr const char* LocalizedDescriptionKey = "NSLocalizedDescription";

  std::string domain;
  std::int64_t code = 0;
  /// A JSON object; text values under `LocalizedDescriptionKey` describe the error.
  nlohmann::json userInfo = nlohmann::json::object();

  Error() = default;
  Error(std::string domain, std::int64_t code, nlohmann::json userInfo = nlohmann::json::object());
  /// Builds an error whose user info holds only a localised description.
  static Error withDescription(std::string domain, std::int64_t code, std::string description);

  /// The text under `LocalizedDescriptionKey` when there is one, otherwise the platform's generic
  /// "The operation couldn’t be completed. (<domain> error <code>.)".
  std::string localizedDescription() const;
  /// The form console lines print: `Error Domain=<domain> Code=<code> "<localized description>"`.
  std::string description() const;

  friend bool operator==(const Error& a, const Error& b) {
    return a.domain == b.domain && a.code == b.code && a.userInfo == b.userInfo;
  }
};

}  // namespace talvaren
