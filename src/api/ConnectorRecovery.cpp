#include "api/EndpointCalls.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/records/RecoverySDK.hpp"

namespace talvaren {

using platform::http::HTTPMethod;

namespace {

constexpr std::string_view parseFailed = "Failed to parse recovery data to json!";
constexpr std::string_view patchRefused = "UUID missing or failed to parse recovery to json";

}  // namespace

std::string Connector::recoveryEndPoint() { return talvaren::detail::endpointText<"recovery/">(); }

void Connector::getMenyRecoveries(Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [] { return recoveryEndPoint(); }, std::move(completion));
}

void Connector::getRecoverie(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(recoveryEndPoint(), uuid); }, std::move(completion));
}

void Connector::getMonthlyRecoveries(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                     Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return recoveryEndPoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postRecovery(const RecoverySDK& recovery, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &recoveryEndPoint, recovery, false, parseFailed, std::move(completion));
}

void Connector::putRecovery(const RecoverySDK& recovery, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::PUT, &recoveryEndPoint, recovery, true, parseFailed, std::move(completion));
}

void Connector::patchRecovery(const RecoverySDK& recovery, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::PATCH, &recoveryEndPoint, recovery, true, patchRefused, std::move(completion));
}

}  // namespace talvaren
