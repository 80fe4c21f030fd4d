// Feeds arbitrary replies (status, header lines, body) to the server client's reply decoding: the cookies and
// CSRF token of the "Set-Cookie" lines, the mapping into one completion, and the printed reply value. Every
// reply must map to exactly one of an error and a value without failing; a JSON body stays JSON once
// redacted, a reply that holds no secret comes back from redaction unchanged, and a reply whose member names
// are spelled otherwise (with "\u" escapes, or with the case of their letters turned) has the same values
// hidden as the plain one.
//
// Input: byte 0 picks the road (bit 0: a transport error instead of a reply, bit 1: a request to the login
// endpoint), bytes 1-2 the status, then header lines ("Name: value", one a line) up to an empty line, then
// the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/api/ServerReply.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

using namespace talvaren;
using namespace talvaren::platform::http;

namespace {

/// `value` as JSON text with every ASCII byte of every member name written as a "\u" escape, hex digits in
/// both cases ("\u0070\u0041...").
std::string withEscapedNames(const nlohmann::json& value) {
  if (!value.is_object() && !value.is_array()) return value.dump();
  std::string out(1, value.is_object() ? '{' : '[');
  for (auto member = value.begin(); member != value.end(); ++member) {
    if (member != value.begin()) out.push_back(',');
    if (value.is_object()) {
      out.push_back('"');
      for (std::size_t i = 0; i < member.key().size(); ++i) {
        const auto c = static_cast<unsigned char>(member.key()[i]);
        if (c >= 0x80) {
          out.push_back(static_cast<char>(c));
          continue;
        }
        const char* digits = i % 2 ? "0123456789ABCDEF" : "0123456789abcdef";
        out += "\\u00";
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0F]);
      }
      out += "\":";
    }
    out += withEscapedNames(*member);
  }
  out.push_back(value.is_object() ? '}' : ']');
  return out;
}

/// `value` with every member name's ASCII letters turned to the other case (`lower`: to lower case); unset
/// when two names of one object become one.
std::optional<nlohmann::json> withNamesTurned(const nlohmann::json& value, bool lower) {
  if (!value.is_object() && !value.is_array()) return value;
  nlohmann::json copy = value.is_object() ? nlohmann::json::object() : nlohmann::json::array();
  for (auto member = value.begin(); member != value.end(); ++member) {
    auto turned = withNamesTurned(*member, lower);
    if (!turned) return std::nullopt;
    if (value.is_array()) {
      copy.push_back(std::move(*turned));
      continue;
    }
    std::string name = member.key();
    for (auto& c : name) {
      if (c >= 'a' && c <= 'z' && !lower) {
        c = static_cast<char>(c - 'a' + 'A');
      } else if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
    if (copy.contains(name)) return std::nullopt;
    copy[name] = std::move(*turned);
  }
  return copy;
}

/// Checks that `value` redacts, as a text and as a reply, to the same as with its names spelled otherwise.
void checkRespelledNames(const nlohmann::json& value) {
  const auto plain = Json::parse(redact::text(value.dump()));
  const auto escaped = Json::parse(redact::text(withEscapedNames(value)));
  if (!plain || !escaped || *plain != *escaped) std::abort();
  // Names compared in lower case: a name that holds a hidden item ("a token=x") holds the placeholder.
  const auto turned = withNamesTurned(value, false);
  const auto lowered = withNamesTurned(value, true);
  if (!turned || !lowered) return;
  const auto turnedText = Json::parse(redact::text(turned->dump()));
  if (!turnedText || withNamesTurned(*turnedText, true) != withNamesTurned(*plain, true)) std::abort();
  if (withNamesTurned(redact::reply(*turned), true) != withNamesTurned(redact::reply(value), true)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t road = data[0];
  const int status = 100 + ((data[1] << 8) | data[2]) % 500;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const auto split = rest.find("\n\n");
  const std::string_view head = rest.substr(0, split);
  const std::string_view body = split == std::string_view::npos ? std::string_view() : rest.substr(split + 2);

  std::vector<HTTPHeaderField> lines;
  for (std::size_t start = 0; start < head.size();) {
    const auto end = std::min(head.find('\n', start), head.size());
    const auto line = head.substr(start, end - start);
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
      auto value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      lines.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    start = end + 1;
  }

  const std::string base = "http://api.talvaren.test/";
  const std::string url = base + ((road & 2) ? "auth/login/refresh/" : "heartrate/");
  auto request = URLRequest::make(url);
  if (request.isFailure()) std::abort();

  DataResponse<nlohmann::json> reply{*request.value(), std::nullopt, std::nullopt,
                                     Result<nlohmann::json>::failure(URLError::make(URLError::cannotFindHost))};
  if (!(road & 1)) {
    reply.response = HTTPURLResponse(request.value()->url(), status, lines);
    reply.data = Bytes(body.begin(), body.end());
    auto value = Json::parse(body);
    if (value && !Json::parse(redact::text(body))) std::abort();
    if (value && !redact::replyHoldsSecrets(*value) && redact::reply(*value) != *value) std::abort();
    if (value) checkRespelledNames(*value);
    if (status < 200 || status > 299) {
      reply.result = Result<nlohmann::json>::failure(Error(HTTPValidationErrorDomain, status));
    } else if (value) {
      reply.result = Result<nlohmann::json>::success(std::move(*value));
    } else {
      reply.result = Result<nlohmann::json>::failure(Error(NSCocoaErrorDomain, CocoaError::propertyListReadCorrupt));
    }
  }

  const auto mapping = mapServerReply(reply, url, base + "auth/login/", base + "auth/logout/");
  if (mapping.error.has_value() == mapping.value.has_value()) std::abort();
  if (mapping.tokenExpired && (mapping.error->code != 401 && mapping.error->code != 403)) std::abort();
  if (mapping.tokenExpired && (road & 2)) std::abort();
  if (mapping.value) (void)dictionaryDescription(redact::reply(*mapping.value));
  if (mapping.error) (void)mapping.error->description();

  const auto cookies = replyCookies(reply);
  if (auto token = csrfToken(cookies)) {
    if (cookies.empty()) std::abort();
  }
  return 0;
}
