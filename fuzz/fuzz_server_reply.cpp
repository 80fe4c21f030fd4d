// Feeds arbitrary replies (status, header lines, body) to the server client's reply decoding: the cookies and
// CSRF token of the "Set-Cookie" lines, the mapping into one completion, and the printed reply value. Every
// reply must map to exactly one of an error and a value without failing; a JSON body stays JSON once
// redacted, and a reply that holds no secret comes back from redaction unchanged.
//
// Input: byte 0 picks the road (bit 0: a transport error instead of a reply, bit 1: a request to the login
// endpoint), bytes 1-2 the status, then header lines ("Name: value", one a line) up to an empty line, then
// the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "talvaren/api/ServerReply.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

using namespace talvaren;
using namespace talvaren::platform::http;

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
