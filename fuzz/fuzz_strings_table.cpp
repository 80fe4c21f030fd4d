// Feeds arbitrary bytes to the string-table reader of bundles. Whatever it accepts must hold only
// well-formed UTF-8, and must read back unchanged when written out again as a table of quoted
// entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "talvaren/platform/Bundle.hpp"

namespace {

bool isWellFormedUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || text.size() - i < length) return false;
    if (length > 1) {
      const auto second = static_cast<unsigned char>(text[i + 1]);
      const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
      if (second < low || second > high) return false;
      for (std::size_t k = 2; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < 0x80 || next > 0xBF) return false;
      }
    }
    i += length;
  }
  return true;
}

void appendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  auto table = talvaren::platform::Bundle::parseStrings(content);
  if (!table) return 0;

  std::string written;
  for (const auto& [key, value] : *table) {
    if (!isWellFormedUtf8(key) || !isWellFormedUtf8(value)) std::abort();
    appendQuoted(written, key);
    written += " = ";
    appendQuoted(written, value);
    written += ";\n";
  }
  auto again = talvaren::platform::Bundle::parseStrings(written);
  if (!again || *again != *table) std::abort();
  return 0;
}
