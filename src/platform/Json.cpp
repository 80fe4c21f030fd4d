#include "talvaren/platform/Json.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

namespace talvaren::platform::Json {

std::optional<std::string> asText(const JSON& value) {
  if (!value.is_string()) return std::nullopt;
  return value.get_ref<const JSON::string_t&>();
}

std::optional<std::int64_t> asInteger(const JSON& value) {
  if (value.is_number_unsigned()) {
    auto number = value.get<JSON::number_unsigned_t>();
    if (number > static_cast<JSON::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_integer()) return value.get<JSON::number_integer_t>();
  if (value.is_number_float()) {
    double number = value.get<JSON::number_float_t>();
    // The range of int64 is [-2^63, 2^63); both bounds are exact doubles.
    constexpr double lowest = -9223372036854775808.0;
    constexpr double beyond = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number < lowest || number >= beyond) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

std::optional<double> asDouble(const JSON& value) {
  if (value.is_number_float()) {
    double number = value.get<JSON::number_float_t>();
    if (!std::isfinite(number)) return std::nullopt;
    return number;
  }
  if (value.is_number_unsigned()) return static_cast<double>(value.get<JSON::number_unsigned_t>());
  if (value.is_number_integer()) return static_cast<double>(value.get<JSON::number_integer_t>());
  return std::nullopt;
}

std::optional<bool> asBoolean(const JSON& value) {
  if (!value.is_boolean()) return std::nullopt;
  return value.get<bool>();
}

const JSON* member(const JSON& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto& entries = object.get_ref<const JSON::object_t&>();
  auto found = entries.find(key);
  return found == entries.end() ? nullptr : &found->second;
}

namespace {

// True when the brackets of `text` (outside strings) never nest deeper than `limit`.
bool nestingWithin(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '[':
      case '{':
        if (++depth > limit) return false;
        break;
      case ']':
      case '}':
        if (depth > 0) --depth;
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace

JSON jsonify(std::vector<std::optional<Piece>> pieces) {
  JSON result = JSON::object();
  auto& entries = result.get_ref<JSON::object_t&>();
  for (auto& piece : pieces) {
    if (piece) entries.insert_or_assign(std::move(piece->key), std::move(piece->value));
  }
  return result;
}

std::optional<JSON> parse(std::string_view text) {
  if (!nestingWithin(text, maximumDepth)) return std::nullopt;
  try {
    JSON value = JSON::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool nestedWithin(const JSON& value, std::size_t limit) {
  if (!value.is_structured()) return true;
  // Each entry: a container and the level it stands at (1 for the top).
  std::vector<std::pair<const JSON*, std::size_t>> pending{{&value, 1}};
  while (!pending.empty()) {
    const auto [container, level] = pending.back();
    pending.pop_back();
    if (level > limit) return false;
    for (const auto& element : *container) {
      if (element.is_structured()) pending.emplace_back(&element, level + 1);
    }
  }
  return true;
}

std::string dump(const JSON& value, int indent) {
  try {
    return value.dump(indent, ' ', /*ensure_ascii=*/false, JSON::error_handler_t::replace);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace talvaren::platform::Json
