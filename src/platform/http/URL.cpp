#include "talvaren/platform/http/URL.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace talvaren::platform::http {
namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

/// True when every byte may appear literally in a URL and every "%" starts an escape.
bool hasOnlyURLCharacters(std::string_view text) {
  static constexpr std::string_view allowedPunctuation = "-._~:/?#[]@!$&'()*+,;=";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return false;
    if (std::isalnum(u)) continue;
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
      continue;
    }
    if (allowedPunctuation.find(c) == std::string_view::npos) return false;
  }
  return true;
}

struct CurlUrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which) {
  char* value = nullptr;
  if (curl_url_get(url, which, &value, 0) != CURLUE_OK || value == nullptr) return std::nullopt;
  std::string result(value);
  curl_free(value);
  return result;
}

std::string lowercase(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view text) {
  if (text.empty() || !hasOnlyURLCharacters(text)) return std::nullopt;
  // A scheme is letters, digits, "+", "-" and "." after a leading letter, ended by ":".
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }

  URL url;
  url.text_ = std::string(text);
  url.scheme_ = lowercase(std::string(text.substr(0, colon)));
  const bool web = url.scheme_ == "http" || url.scheme_ == "https";
  if (!web) {
    // Other schemes are kept as opaque absolute URLs; the transfer engine refuses them.
    const auto rest = text.substr(colon + 1);
    const auto q = rest.find('?');
    const auto hash = rest.find('#');
    url.path_ = std::string(rest.substr(0, std::min(q, hash)));
    if (q != std::string_view::npos && (hash == std::string_view::npos || q < hash)) {
      url.query_ = std::string(rest.substr(q + 1, hash == std::string_view::npos ? std::string_view::npos : hash - q - 1));
    }
    return url;
  }

  // "//" and a non-empty authority must follow the scheme ("https:///path" and "http:host" are no URLs).
  const auto rest = text.substr(colon + 1);
  if (rest.size() < 3 || rest.substr(0, 2) != "//" || rest[2] == '/' || rest[2] == '?' || rest[2] == '#') {
    return std::nullopt;
  }

  std::unique_ptr<CURLU, CurlUrlDeleter> parsed(curl_url());
  if (!parsed) return std::nullopt;
  if (curl_url_set(parsed.get(), CURLUPART_URL, url.text_.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return std::nullopt;
  }
  auto host = part(parsed.get(), CURLUPART_HOST);
  if (!host || host->empty()) return std::nullopt;
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']') {
    url.host_.assign(host->begin() + 1, host->end() - 1);
  } else {
    url.host_ = std::move(*host);
  }
  if (auto port = part(parsed.get(), CURLUPART_PORT)) {
    try {
      url.port_ = std::stoi(*port);
    } catch (...) {
      return std::nullopt;
    }
  }
  auto path = part(parsed.get(), CURLUPART_PATH);
  url.path_ = path && !path->empty() ? std::move(*path) : std::string(1, '/');
  const auto hash = text.find('#');
  const auto q = text.find('?');
  if (q != std::string_view::npos && (hash == std::string_view::npos || q < hash)) {
    url.query_ = std::string(text.substr(q + 1, hash == std::string_view::npos ? std::string_view::npos : hash - q - 1));
  }
  return url;
}

}  // namespace talvaren::platform::http
