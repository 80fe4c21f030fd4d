#pragma once
// Private: what the endpoint groups of workouts, recovery, daily zones and the day records (activity,
// calories, sleep, HRV scores, tracking settings, the weekly score and straps) share to turn one operation
// into one request, on top of callEndpoint (EndpointCall.hpp); nothing an operation does while building
// the request escapes.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "api/EndpointCall.hpp"
#include "api/Unsent.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren::detail {

/// `endpoint` followed by `identifier` as one path segment and "/".
std::string identifierPath(const std::string& endpoint, std::string_view identifier);

/// "?date__gte=<start>&date__lte=<end>", then "&limit=<limit>" when given; days in the device's zone.
std::string dateRangeQuery(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit);

/// The day of `date` in the device's zone, "yyyy-MM-dd".
std::string dayText(const Date& date);

/// Runs `send`; anything it throws completes `completion` as a request that never started.
template <class Send>
void guardedCall(const Connector::Completion& completion, Send&& send) {
  try {
    std::forward<Send>(send)();
  } catch (...) {
    completeUnsent(completion);
  }
}

/// `method` of the URL `makeURL` gives, without parameters; nothing `makeURL` throws escapes.
template <class MakeURL>
void callEndpointAt(Connector& client, platform::http::HTTPMethod method, MakeURL&& makeURL,
                    Connector::Completion completion) {
  guardedCall(completion,
              [&] { callEndpoint(client, method, std::forward<MakeURL>(makeURL)(), std::nullopt, completion); });
}

/// Sends `record`'s JSON as the body to `endpoint`, or, when `toOwnPath`, to `endpoint` + its `uuid` + "/"
/// (a record type without a `uuid` has no own path).
/// A record without that `uuid` (its JSON then never asked for) or without JSON prints `refusal` and sends
/// nothing; the completion is not called.
template <class Record>
void sendRecord(Connector& client, platform::http::HTTPMethod method, std::string (*endpoint)(), const Record& record,
                bool toOwnPath, std::string_view refusal, Connector::Completion completion) {
  guardedCall(completion, [&] {
    std::string url = endpoint();
    std::optional<JSON> body;
    if (!toOwnPath) {
      body = record.toJSON();
    } else if constexpr (requires { record.uuid; }) {
      if (record.uuid) {
        body = record.toJSON();
        url = identifierPath(url, *record.uuid);
      }
    }
    if (!body) return console::print(refusal);
    callEndpoint(client, method, url, std::move(body), completion);
  });
}

}  // namespace talvaren::detail
