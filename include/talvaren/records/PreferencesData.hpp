#pragma once
// One preference of the user's account: section, name, identifier, default value and value.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/RawValue.hpp"

namespace talvaren {

/// Keys read and written alike: "section", "name", "identifier", "defaultValue" (in this mixed case),
/// "value". Reading needs all five as texts, "identifier" included. No ordering, no equality.
class PreferencesData {
 public:
  /// Three kinds of preference, by integer code.
  enum class PreferencesType : std::int64_t {
    sleep = 0,
    activity = 1,
    calories = 2,
  };

  /// The preference's current value.
  std::string value;

  /// A preference of the section "api" with the default value "none".
  PreferencesData(std::string name, std::string identifier, std::string value);

  /// No preference unless each of the five keys holds a text.
  static std::optional<PreferencesData> fromJSON(const JSON& json);
  /// The five entries; "identifier" only when present.
  std::optional<JSON> toJSON() const;

  const std::string& section() const { return section_; }
  const std::string& name() const { return name_; }
  /// The server's identifier of the preference.
  const std::optional<std::string>& identifier() const { return identifier_; }
  const std::string& defaultValue() const { return defaultValue_; }

 private:
  static constexpr std::string_view SectionKey = "section";
  static constexpr std::string_view NameKey = "name";
  static constexpr std::string_view IdentifierKey = "identifier";
  static constexpr std::string_view DefaultValueKey = "defaultValue";
  static constexpr std::string_view ValueKey = "value";

  PreferencesData(std::string section, std::string name, std::optional<std::string> identifier,
                  std::string defaultValue, std::string value);

  std::string section_;
  std::string name_;
  std::optional<std::string> identifier_;
  std::string defaultValue_;
};

inline constexpr std::array<PreferencesData::PreferencesType, 3> PreferencesTypeAllCases = {
    PreferencesData::PreferencesType::sleep, PreferencesData::PreferencesType::activity,
    PreferencesData::PreferencesType::calories};

template <>
struct RawValueOf<PreferencesData::PreferencesType> {
  using type = std::int64_t;
};

/// The integer code of a kind of preference.
constexpr std::int64_t rawValue(PreferencesData::PreferencesType type) { return static_cast<std::int64_t>(type); }

/// The kind of preference of code 0, 1 or 2; nothing for any other code.
template <>
inline std::optional<PreferencesData::PreferencesType> fromRawValue<PreferencesData::PreferencesType>(
    std::int64_t raw) {
  return detail::caseWithRawValue(PreferencesTypeAllCases, raw);
}

}  // namespace talvaren
