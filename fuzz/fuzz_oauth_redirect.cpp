// Feeds arbitrary bytes to the redirect reader: the URL split into scheme, authority, path, query and
// fragment, and the query and fragment read as form items. A URL that splits must put its parts back
// together to the same text; every item read must write back to a form that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "talvaren/platform/oauth/RedirectURL.hpp"

using namespace talvaren::platform::oauth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto url = RedirectURL::parse(text);
  if (!url) return 0;
  std::string joined = url->scheme + ":";
  if (url->authority) joined += "//" + *url->authority;
  joined += url->path;
  if (url->query) joined += "?" + *url->query;
  if (url->fragment) joined += "#" + *url->fragment;
  if (joined != text) std::abort();
  if (!url->sameEndpoint(*url)) std::abort();
  if (const auto items = url->items()) {
    const auto again = decodeForm(encodeForm(*items));
    if (!again || *again != *items) std::abort();
  }
  return 0;
}
