// The text form of the user defaults' file: JSON, with tags for what JSON cannot hold as it is.

#include "talvaren/platform/UserDefaults.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TextEncoding.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::platform {
namespace {

using nlohmann::json;

constexpr const char* BytesTag = "$bytes";
constexpr const char* DoubleTag = "$double";
constexpr const char* TextTag = "$text";
constexpr const char* DictionaryTag = "$dict";

json encodeValue(const json& value);

json encodeMembers(const json& object) {
  json out = json::object();
  for (auto it = object.begin(); it != object.end(); ++it) out[it.key()] = encodeValue(it.value());
  return out;
}

json encodeValue(const json& value) {
  switch (value.type()) {
    case json::value_t::binary: {
      const auto& bytes = value.get_binary();
      return json{{BytesTag,
                   detail::base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))}};
    }
    case json::value_t::string: {
      // A text that is not UTF-8 (a strap name cut off inside a character, say) cannot stand in
      // JSON as it is; its bytes are kept in Base64.
      const auto& text = value.get_ref<const std::string&>();
      if (!detail::isValidUtf8(text)) return json{{TextTag, detail::base64Encode(text)}};
      return value;
    }
    case json::value_t::number_float: {
      double number = value.get<double>();
      if (std::isnan(number)) return json{{DoubleTag, "nan"}};
      if (std::isinf(number)) return json{{DoubleTag, number > 0 ? "inf" : "-inf"}};
      return value;
    }
    case json::value_t::object: {
      json members = encodeMembers(value);
      // A one-member dictionary whose key starts with '$' could be taken for a tag: wrap it.
      if (members.size() == 1 && members.begin().key().starts_with('$')) return json{{DictionaryTag, members}};
      return members;
    }
    case json::value_t::array: {
      json out = json::array();
      for (const auto& element : value) out.push_back(encodeValue(element));
      return out;
    }
    default:
      return value;
  }
}

// Decoding counts how deep the decoded value's lists and dictionaries nest (`depth` of them hold
// the value at hand) and refuses a file that nests deeper than a stored value may.
std::optional<json> decodeValue(const json& value, std::size_t depth);

std::optional<json> decodeMembers(const json& object, std::size_t depth) {
  json out = json::object();
  for (auto it = object.begin(); it != object.end(); ++it) {
    auto member = decodeValue(it.value(), depth);
    if (!member) return std::nullopt;
    out[it.key()] = std::move(*member);
  }
  return out;
}

std::optional<json> decodeValue(const json& value, std::size_t depth) {
  if ((value.is_array() || value.is_object()) && depth >= UserDefaults::maxNesting) {
    // Deeper than a value may nest, unless a tag holding a plain value.
    bool tag = value.is_object() && value.size() == 1 &&
               (value.begin().key() == BytesTag || value.begin().key() == DoubleTag || value.begin().key() == TextTag);
    if (!tag) return std::nullopt;
  }
  if (value.is_array()) {
    json out = json::array();
    for (const auto& element : value) {
      auto decoded = decodeValue(element, depth + 1);
      if (!decoded) return std::nullopt;
      out.push_back(std::move(*decoded));
    }
    return out;
  }
  if (!value.is_object()) return value;
  if (value.size() == 1) {
    const auto& key = value.begin().key();
    const auto& inner = value.begin().value();
    if (key == BytesTag) {
      if (!inner.is_string()) return std::nullopt;
      auto bytes = detail::base64Decode(inner.get_ref<const std::string&>());
      if (!bytes) return std::nullopt;
      return json::binary(json::binary_t::container_type(bytes->begin(), bytes->end()));
    }
    if (key == TextTag) {
      if (!inner.is_string()) return std::nullopt;
      auto text = detail::base64Decode(inner.get_ref<const std::string&>());
      if (!text) return std::nullopt;
      return json(std::move(*text));
    }
    if (key == DoubleTag) {
      if (inner == "nan") return json(std::numeric_limits<double>::quiet_NaN());
      if (inner == "inf") return json(std::numeric_limits<double>::infinity());
      if (inner == "-inf") return json(-std::numeric_limits<double>::infinity());
      return std::nullopt;
    }
    if (key == DictionaryTag) {
      if (!inner.is_object()) return std::nullopt;
      return decodeMembers(inner, depth + 1);
    }
  }
  return decodeMembers(value, depth + 1);
}

}  // namespace

std::string UserDefaults::encodeFile(const json& values) {
  return encodeMembers(values.is_object() ? values : json::object())
      .dump(2, ' ', false, json::error_handler_t::replace);
}

std::optional<json> UserDefaults::decodeFile(std::string_view text) {
  const auto parsed = Json::parse(text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return decodeMembers(*parsed, 0);
}

}  // namespace talvaren::platform
