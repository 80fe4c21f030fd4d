#include "talvaren/utilities/DictionaryExtensions.hpp"

#include <cstdint>
#include <cstdio>

#include "platform/FileIO.hpp"

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

void appendQuoted(std::string_view text, std::string& out) {
  // A text that is not UTF-8 prints every byte above 0x7F as the replacement character.
  const bool utf8 = platform::detail::isValidUtf8(text);
  out += '"';
  // Runs of characters that print as themselves are appended whole.
  const auto plain = [utf8](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 ? utf8 : byte >= 0x20 && byte != 0x7F && c != '"' && c != '\\';
  };
  std::size_t done = 0;
  while (done < text.size()) {
    std::size_t end = done;
    while (end < text.size() && plain(text[end])) ++end;
    out.append(text.substr(done, end - done));
    if (end == text.size()) break;
    done = end + 1;
    const char c = text[end];
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (utf8) {
        out += c;
      } else {
        out += "\\u{fffd}";
      }
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[12];
      std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
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
      for (const auto& [key, member] : value.items()) {
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
      out += std::to_string(value.get<std::int64_t>());
      return;
    case nlohmann::json::value_t::number_unsigned:
      out += std::to_string(value.get<std::uint64_t>());
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

std::string dictionaryDescription(const nlohmann::json& value) {
  std::string out;
  try {
    appendValue(value, out);
  } catch (...) {
    // Only an allocation failure lands here; what was written so far is kept.
  }
  return out;
}

std::string dictionaryDescription(const std::map<std::string, std::string>& dictionary) {
  if (dictionary.empty()) return "[:]";
  std::string out = "[";
  try {
    bool first = true;
    for (const auto& [key, value] : dictionary) {
      if (!first) out += ", ";
      first = false;
      appendQuoted(key, out);
      out += ": ";
      appendQuoted(value, out);
    }
  } catch (...) {
  }
  out += ']';
  return out;
}

}  // namespace talvaren
