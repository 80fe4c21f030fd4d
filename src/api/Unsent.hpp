#pragma once
// Internal interface of api (for the importers' connectors): how every client of the kit ends a request
// that never started (no session, or a failure while it was being built), so the server client and the
// providers' connectors answer alike.

#include <optional>
#include <utility>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::detail {

/// Calls `completion` (when there is one) once, later, on the main queue, with URLError `unknown`
/// ("NSURLErrorDomain", -1) and no reply.
template <class Completion>
void completeUnsent(Completion completion) {
  if (!completion) return;
  platform::DispatchQueue::main().async([completion = std::move(completion)] {
    completion(platform::http::URLError::make(platform::http::URLError::unknown), std::nullopt);
  });
}

}  // namespace talvaren::detail
