// Feeds arbitrary replies, as they come off the wire, down the road a server reply takes: the head's lines
// one at a time as libcurl hands them over (interim 1xx heads included), the validation of status and
// content type against the request's "Accept", the JSON decoding, and the server client's mapping into
// one completion. Every reply must end in exactly one of an error and a value without failing.
//
// Input: byte 0 picks the road (bit 0: validate, bit 1: the request sends "Accept: application/json",
// bit 2: JSON fragments allowed, bit 3: a request to the login endpoint), then the reply: head lines, each
// ended by "\n" (or "\r\n"), up to an empty line, then the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/http/ReplyReading.hpp"
#include "talvaren/api/ServerReply.hpp"
#include "talvaren/platform/http/URLError.hpp"

using namespace talvaren;
using namespace talvaren::platform::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t road = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  // The head, line by line; a 1xx head is followed by the real one.
  detail::ReplyHead head;
  std::size_t headBytes = 0;
  bool ended = false;
  while (!rest.empty() && !ended) {
    const auto end = rest.find('\n');
    const auto line = rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
    rest.remove_prefix(line.size());
    const bool statusLine = line.substr(0, 5) == "HTTP/";
    headBytes = statusLine ? line.size() : headBytes + line.size();
    const bool blank = detail::readHeaderLine(head, line);
    if (head.size != headBytes && head.sawStatusLine) std::abort();
    if (blank && !head.complete) std::abort();
    ended = blank && !(head.status >= 100 && head.status < 200);
  }
  if (head.status < 0 || head.status > 999) std::abort();

  const std::string base = "http://api.talvaren.test/";
  const std::string url = base + ((road & 8) ? "auth/login/refresh/" : "heartrate/");
  HTTPHeaders headers;
  if (road & 2) headers["Accept"] = "application/json";
  auto request = URLRequest::make(url, HTTPMethod::GET, headers);
  if (request.isFailure()) std::abort();

  detail::TransferOutcome outcome;
  if (head.sawStatusLine && head.status > 0) {
    outcome.response.emplace(request.value()->url(), head.status, head.headerLines);
    outcome.data = Bytes(rest.begin(), rest.end());
  } else {
    // No reply head: what a transfer reports for a reply that is not HTTP.
    outcome.error = URLError::make(URLError::badServerResponse, url);
  }
  const bool validate = road & 1;
  const auto options = (road & 4) ? JSONReadingOptions::allowFragments : JSONReadingOptions::none;
  const auto reply = detail::jsonResponse(*request.value(), outcome, validate, options);
  if (reply.result.isSuccess() == reply.result.isFailure()) std::abort();
  if (validate && reply.response && !outcome.error) {
    const int status = reply.response->statusCode();
    const bool failedStatus = status < 200 || status > 299;
    if (failedStatus && (!reply.result.isFailure() || reply.result.error()->code != status)) std::abort();
  }
  if (const auto* value = reply.result.value(); value && options == JSONReadingOptions::none) {
    if (!value->is_object() && !value->is_array() && !value->is_null()) std::abort();
  }

  const auto mapping = mapServerReply(reply, url, base + "auth/login/", base + "auth/logout/");
  if (mapping.error.has_value() == mapping.value.has_value()) std::abort();
  if (mapping.tokenExpired && (road & 8)) std::abort();
  if (mapping.tokenExpired && (!reply.response || (reply.response->statusCode() != 401 &&
                                                   reply.response->statusCode() != 403))) {
    std::abort();
  }
  if (mapping.error) (void)mapping.error->description();
  return 0;
}
