#pragma once
// Text forms of values in record descriptions.
//
// A value is written in its optional form: "nil" when absent, otherwise "Optional(" + the value + ")":
//   text      between double quotes, with \" \\ \0 \t \n \r and \u{XX} for other control characters
//             (U+0001 ... U+001F and U+007F ... U+009F)
//   integer   in decimal                               Optional(12)
//   double    shortest form that reads back the same,  Optional(1577836800.0), Optional(0.0001),
//             ".0" when whole, exponent form outside   Optional(1e-05), Optional(1e+16)
//             the range 0.0001 ..< 2^53
//   Boolean   Optional(true) / Optional(false)
//   list      elements between square brackets, separated by ", "   Optional([1, 2])
// Enumeration cases and types print qualified with the module name: TalvarenKit.WorkoutType.cardio.
//
// Two layouts of a whole description:
//   OneLine   "Label: a = nil, b = Optional(1)"            (no line feed at the end)
//   MultiLine "label: \n" then "name<blanks to 23>= value\n" for each field, the last one included.

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace talvaren::describe {

/// The module name that qualifies enumeration cases and type names.
inline constexpr std::string_view moduleName = "TalvarenKit";

/// `text` between double quotes, escaped as in a quoted literal.
std::string quoted(std::string_view text);

/// `value` in the shortest decimal form that reads back as the same double (see above).
std::string number(double value);
std::string number(std::int64_t value);
std::string number(std::uint64_t value);

inline std::string boolean(bool value) { return value ? "true" : "false"; }

/// "TalvarenKit.<typeName>.<caseName>", the printed form of an enumeration case.
std::string qualifiedCase(std::string_view typeName, std::string_view caseName);
/// "TalvarenKit.<typeName>", the printed form of an object without a description of its own.
std::string qualifiedType(std::string_view typeName);

/// "nil" or "Optional(" + inner + ")".
inline std::string optionalForm(bool present, std::string_view inner) {
  if (!present) return "nil";
  std::string text = "Optional(";
  text += inner;
  text += ')';
  return text;
}

/// The elements of `list`, each written by `element`, between square brackets and separated by ", ".
template <class T, class Describe>
std::string list(const std::vector<T>& values, Describe&& element) {
  std::string text = "[";
  bool first = true;
  for (const auto& value : values) {
    if (!first) text += ", ";
    first = false;
    text += element(value);
  }
  text += ']';
  return text;
}

/// The optional form of a value written by `inner`.
template <class T, class Describe>
std::string optional(const std::optional<T>& value, Describe&& inner) {
  return value ? describe::optionalForm(true, inner(*value)) : std::string("nil");
}

inline std::string optional(const std::optional<std::string>& value) {
  return value ? describe::optionalForm(true, describe::quoted(*value)) : std::string("nil");
}
inline std::string optional(const std::optional<double>& value) {
  return value ? describe::optionalForm(true, describe::number(*value)) : std::string("nil");
}
inline std::string optional(const std::optional<bool>& value) {
  return value ? describe::optionalForm(true, describe::boolean(*value)) : std::string("nil");
}
template <std::integral T>
  requires(!std::same_as<T, bool>)
std::string optional(const std::optional<T>& value) {
  if (!value) return "nil";
  if constexpr (std::is_signed_v<T>) {
    return describe::optionalForm(true, describe::number(static_cast<std::int64_t>(*value)));
  } else {
    return describe::optionalForm(true, describe::number(static_cast<std::uint64_t>(*value)));
  }
}
template <std::integral T>
  requires(!std::same_as<T, bool>)
std::string optional(const std::optional<std::vector<T>>& value) {
  return describe::optional(value, [](const std::vector<T>& values) {
    return describe::list(values, [](T element) {
      if constexpr (std::is_signed_v<T>) {
        return describe::number(static_cast<std::int64_t>(element));
      } else {
        return describe::number(static_cast<std::uint64_t>(element));
      }
    });
  });
}

/// "Label: name = value, name = value" with no line feed after the last value.
class OneLine {
 public:
  explicit OneLine(std::string_view label);
  OneLine& field(std::string_view name, std::string_view value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  bool first_ = true;
};

/// "label: \n", then one "name" padded to 23 characters, "= value\n" line per field.
class MultiLine {
 public:
  static constexpr std::size_t nameWidth = 23;
  explicit MultiLine(std::string_view label);
  MultiLine& field(std::string_view name, std::string_view value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace talvaren::describe
