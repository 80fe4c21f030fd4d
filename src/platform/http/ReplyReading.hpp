#pragma once
// Private: how a reply is read, from the head's lines as they arrive to the value a JSON handler gets.
// The transfer engine and the JSON handlers use these; the reply fuzz target drives them without sockets.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "RequestCore.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http::detail {

/// The largest reply head read, in bytes (libcurl itself refuses a longer single line).
inline constexpr std::size_t maximumHeadSize = 256 * 1024;

/// The head of the reply being read; a later head (after an interim reply or a redirect) replaces it.
struct ReplyHead {
  std::vector<HTTPHeaderField> headerLines;
  int status = 0;
  bool sawStatusLine = false;
  /// The blank line that ends the current head has arrived.
  bool complete = false;
  /// The bytes of the current head so far, line breaks included.
  std::size_t size = 0;
};

/// Reads one line of a reply head as libcurl hands it over, line break included or not. True for the blank
/// line that ends a head.
bool readHeaderLine(ReplyHead& head, std::string_view line);

/// What a JSON handler receives for `outcome`: the transport error, else (with `validate`) the validation
/// error, else the decoded value or the decoding error.
DataResponse<nlohmann::json> jsonResponse(const std::optional<URLRequest>& request, const TransferOutcome& outcome,
                                          bool validate, JSONReadingOptions options);

}  // namespace talvaren::platform::http::detail
