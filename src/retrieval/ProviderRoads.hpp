#pragma once
// What the Fitbit and Garmin paths of the retrieval facade share: the end of an import, with records or
// with a failed request.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"

namespace talvaren::roads {

/// A lost or timed-out connection, whatever the error's domain.
inline bool lostConnection(const Error& error) {
  return error.code == platform::http::URLError::notConnectedToInternet ||
         error.code == platform::http::URLError::timedOut;
}

/// Hands `records` to the facade's delegate of `kind`, when the facade and its delegate are still there.
template <class Record>
void handOver(const std::weak_ptr<RetrieveDataConfiguration>& facade, RetrieveDataService service,
              void (RetrieveDataDelegate::*kind)(const std::vector<Record>&, RetrieveDataService),
              const std::vector<Record>& records) {
  auto self = facade.lock();
  if (!self) return;
  if (auto delegate = self->delegate()) (delegate.get()->*kind)(records, service);
}

/// A failed request other than a lost connection: latches the provider and reports the error's code in
/// decimal, when the facade is still there.
inline void reportFailure(const std::weak_ptr<RetrieveDataConfiguration>& facade, RetrieveDataService service,
                          RetieveDataType type, const Error& error) {
  auto self = facade.lock();
  if (!self) return;
  const std::string message = std::to_string(error.code);
  if (service == RetrieveDataService::fitbit) {
    self->setFitBitReturnedErrorCode(true);
    if (auto delegate = self->delegate()) delegate->handlerError(ErrorRetrieve::errorFitbitData(message), type);
  } else {
    self->setGarminReturnedErrorCode(true);
    if (auto delegate = self->delegate()) delegate->handlerError(ErrorRetrieve::errorGarminData(message), type);
  }
}

inline void printLostConnection() { console::print("RetrieveDataConfiguration no internet connection"); }

/// minutes × 60, held at Int64's bounds.
inline std::int64_t secondsFromMinutes(std::int64_t minutes) {
  std::int64_t seconds = 0;
  if (!__builtin_mul_overflow(minutes, std::int64_t{60}, &seconds)) return seconds;
  return minutes > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace talvaren::roads
