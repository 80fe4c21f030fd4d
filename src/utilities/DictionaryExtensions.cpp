#include "talvaren/utilities/DictionaryExtensions.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include "platform/TextEncoding.hpp"
#include "utilities/HeaderDescription.hpp"

namespace talvaren {

nlohmann::json mergeWith(const nlohmann::json& receiver, const nlohmann::json& dictionary) {
  nlohmann::json result = nlohmann::json::object();
  for (const auto* source : {&receiver, &dictionary}) {
    if (!source->is_object()) continue;
    for (const auto& [key, value] : source->items()) result[key] = value;
  }
  return result;
}

namespace {

/// The bytes that print as themselves in any text: everything below 0x80 but the control characters, "
/// and \. (Bytes from 0x80 on print as themselves only in a text that is UTF-8.)
constexpr auto printsAsItself = [] {
  std::array<bool, 256> table{};
  for (unsigned byte = 0x20; byte < 0x7F; ++byte) table[byte] = byte != '"' && byte != '\\';
  return table;
}();

void appendQuoted(std::string_view text, std::string& out) {
  // A text that is not UTF-8 prints every byte above 0x7F as the replacement character; whether it is
  // UTF-8 is found out at its first such byte (most texts have none).
  enum class Utf8 { unknown, yes, no } utf8 = Utf8::unknown;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  out += '"';
  std::size_t done = 0;
  while (done < size) {
    // Runs of characters that print as themselves are appended whole.
    std::size_t end = done;
    for (;;) {
      while (end < size && printsAsItself[bytes[end]]) ++end;
      if (end == size || bytes[end] < 0x80) break;
      if (utf8 == Utf8::unknown) utf8 = platform::detail::isValidUtf8(text) ? Utf8::yes : Utf8::no;
      if (utf8 == Utf8::no) break;
      ++end;
    }
    out.append(text.substr(done, end - done));
    if (end == text.size()) break;
    done = end + 1;
    const char c = text[end];
    if (static_cast<unsigned char>(c) >= 0x80) {
      out += "\\u{fffd}";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char escaped[12];
      std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escaped;
    }
  }
  out += '"';
}

template <class Integer>
void appendNumber(Integer number, std::string& out) {
  char digits[24];
  const auto written = std::to_chars(std::begin(digits), std::end(digits), number);
  out.append(digits, written.ptr);
}

// Containers nested deeper than this print as "[...]", so no outside value can exhaust the stack.
constexpr int maxDepth = 128;

void appendValue(const nlohmann::json& value, std::string& out, int depth = 0) {
  if ((value.is_object() || value.is_array()) && depth >= maxDepth) {
    out += "[...]";
    return;
  }
  switch (value.type()) {
    case nlohmann::json::value_t::object: {
      if (value.empty()) {
        out += "[:]";
        return;
      }
      out += '[';
      bool first = true;
      for (const auto& [key, member] : value.get_ref<const nlohmann::json::object_t&>()) {
        if (!first) out += ", ";
        first = false;
        appendQuoted(key, out);
        out += ": ";
        appendValue(member, out, depth + 1);
      }
      out += ']';
      return;
    }
    case nlohmann::json::value_t::array: {
      out += '[';
      bool first = true;
      for (const auto& element : value) {
        if (!first) out += ", ";
        first = false;
        appendValue(element, out, depth + 1);
      }
      out += ']';
      return;
    }
    case nlohmann::json::value_t::string:
      appendQuoted(value.get_ref<const std::string&>(), out);
      return;
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded:
      out += "<null>";
      return;
    case nlohmann::json::value_t::binary:
      out += std::to_string(value.get_binary().size()) + " bytes";
      return;
    case nlohmann::json::value_t::number_integer:
      appendNumber(value.get<std::int64_t>(), out);
      return;
    case nlohmann::json::value_t::number_unsigned:
      appendNumber(value.get<std::uint64_t>(), out);
      return;
    case nlohmann::json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      return;
    default:
      // Other numbers: their JSON text never holds a string, so dump cannot fail on them.
      out += value.dump();
      return;
  }
}

}  // namespace

void detail::appendDictionaryDescription(std::string& out, const nlohmann::json& value) {
  try {
    appendValue(value, out);
  } catch (...) {
    // Only an allocation failure lands here; what was written so far is kept.
  }
}

std::string dictionaryDescription(const nlohmann::json& value) {
  std::string out;
  out.reserve(128);
  detail::appendDictionaryDescription(out, value);
  return out;
}

std::string dictionaryDescription(const std::map<std::string, std::string>& dictionary) {
  std::string out;
  detail::appendHeaderDescription(out, {}, dictionary, nullptr, {});
  return out;
}

void detail::appendHeaderDescription(std::string& out, std::string_view prefix,
                                     const std::map<std::string, std::string>& headers,
                                     bool (*hidden)(std::string_view), std::string_view placeholder) {
  out.append(prefix);
  if (headers.empty()) {
    out.append("[:]");
    return;
  }
  std::size_t size = out.size() + 2;
  for (const auto& [key, value] : headers) size += key.size() + value.size() + 8;
  out.reserve(size);
  out += '[';
  try {
    bool first = true;
    for (const auto& [key, value] : headers) {
      if (!first) out += ", ";
      first = false;
      appendQuoted(key, out);
      out += ": ";
      appendQuoted(hidden && hidden(key) ? placeholder : std::string_view(value), out);
    }
  } catch (...) {
    // As above: the line keeps what was written.
  }
  out += ']';
}

}  // namespace talvaren
