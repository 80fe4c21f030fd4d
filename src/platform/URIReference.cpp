#include "talvaren/platform/URIReference.hpp"

namespace talvaren::platform {

namespace {

bool isSchemeText(std::string_view text) {
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (text.empty() || !alpha(text[0])) return false;
  for (char c : text.substr(1)) {
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace

URIReference URIReference::split(std::string_view text) {
  URIReference r;
  if (const auto hash = text.find('#'); hash != std::string_view::npos) {
    r.fragment = std::string(text.substr(hash + 1));
    text = text.substr(0, hash);
  }
  if (const auto q = text.find('?'); q != std::string_view::npos) {
    r.query = std::string(text.substr(q + 1));
    text = text.substr(0, q);
  }
  if (const auto colon = text.find(':'); colon != std::string_view::npos && isSchemeText(text.substr(0, colon))) {
    r.scheme = std::string(text.substr(0, colon));
    text = text.substr(colon + 1);
  }
  if (text.substr(0, 2) == "//") {
    const auto end = text.find('/', 2);
    r.authority = std::string(text.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  r.path = std::string(text);
  return r;
}

std::string URIReference::text() const {
  std::string out;
  if (scheme) out += *scheme + ":";
  if (authority) out += "//" + *authority;
  out += path;
  if (query) out += "?" + *query;
  if (fragment) out += "#" + *fragment;
  return out;
}

}  // namespace talvaren::platform
