// The curl header list of a request: its own fields, the configuration's, cookies, and the fields that
// keep libcurl from adding its own; the list of the previous request is reused when nothing changed.

#include "Transfer.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

bool isTokenCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isValidHeader(const std::string& name, const std::string& value) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenCharacter)) return false;
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

/// The most header bytes a request may carry: libcurl refuses a request head beyond 1 MiB, and the rest is
/// left for the request line.
constexpr std::size_t maximumRequestFieldsSize = 960 * 1024;

}  // namespace

Result<TransferEngine::HeaderList> TransferEngine::headerList(const URLRequest& request,
                                                              const std::shared_ptr<HTTPCookieStorage>& cookies,
                                                              bool leftOrigin) {
  // The request's own fields, then the configuration's, then cookies; copied only when something is added.
  // After the chain left the caller's origin, the configuration's fields are held to the same rule as the
  // request's own (which the hop's request already keeps to): credentials of a session go to no other host.
  // The cookies are those of the hop's own URL.
  const auto& own = request.headerFields();
  std::vector<HTTPHeaderField> extended;
  auto add = [&](std::string name, std::string value) {
    if (extended.empty()) extended = own;
    extended.emplace_back(std::move(name), std::move(value));
  };
  for (const auto& [name, value] : configuration_.httpAdditionalHeaders) {
    if (!hasField(own, name) && (!leftOrigin || mayGoToAnyOrigin(name))) add(name, value);
  }
  if (cookies && !hasField(own, "Cookie")) {
    const auto matching = cookies->cookies(request.url());
    if (!matching.empty()) add("Cookie", HTTPCookie::requestHeaderValue(matching));
  }
  const auto& fields = extended.empty() ? own : extended;
  // POST, PUT and PATCH always send a body, an empty one when the request has none.
  const auto method = request.httpMethod();
  const bool hasBody = request.httpBody().has_value() || method == HTTPMethod::POST || method == HTTPMethod::PUT ||
                       method == HTTPMethod::PATCH;
  if (lastHeaderList_ && hasBody == lastHeaderListHadBody_ && fields == lastHeaderFields_) {
    return Result<HeaderList>::success(lastHeaderList_);
  }

  std::size_t size = 0;
  for (const auto& [name, value] : fields) {
    if (!isValidHeader(name, value)) {
      return Result<HeaderList>::failure(Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::invalidHeader,
                                                                "The header field \"" + name + "\" is not valid."));
    }
    size += name.size() + value.size() + 4;
  }
  if (size > maximumRequestFieldsSize) return Result<HeaderList>::failure(requestTooLargeError());
  curl_slist* list = nullptr;
  bool complete = true;
  auto append = [&](const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) complete = false;
    list = grown ? grown : list;
  };
  for (const auto& [name, value] : fields) {
    // A caller's empty field keeps its name: "Name;" makes libcurl send "Name:" with no value.
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  // Keep libcurl from adding header fields of its own: "Name:" removes libcurl's field.
  if (!hasField(fields, "Accept")) append("Accept:");
  if (!hasField(fields, "Expect")) append("Expect:");
  if (hasBody && !hasField(fields, "Content-Type")) append("Content-Type:");
  HeaderList shared(list, curl_slist_free_all);
  if (!complete) throw std::bad_alloc();
  lastHeaderFields_ = fields;
  lastHeaderListHadBody_ = hasBody;
  lastHeaderList_ = shared;
  return Result<HeaderList>::success(std::move(shared));
}

}  // namespace talvaren::platform::http::detail
