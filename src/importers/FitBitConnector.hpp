#pragma once
// Internal interface of importers (for retrieval): the kit's client of the Fitbit Web API.
//
// One shared instance, `FitBitConnector::sharedInstance()`. Every Fitbit request goes through
// `performAPICall`, called on the object the endpoint was called on, so a subclass that overrides it
// (the testkit's FitBitConnectorMock) receives every request. Each call reads the bearer token stored
// under "FitBitAuthToken" afresh. The first 401 or 403 reply of the process runs the Fitbit authorisation once
// and repeats the request; every later refusal completes with `genericApiError` of its status.
// Requests are started on the calling thread; reply handlers, completions, the authorisation and the
// repeat run on the main queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

// Beside this header: fuzz targets include it by its path.
#include "ProviderConnector.hpp"

namespace talvaren {

class FitBitConnector : public detail::ProviderConnector, public std::enable_shared_from_this<FitBitConnector> {
 public:
  /// Domain of `genericApiError`.
  static constexpr std::string_view genericErrorDomain = "FitBit.TalvarenIOS.error";

  /// The one connector, made on first use and kept for the process.
  static std::shared_ptr<FitBitConnector> sharedInstance();

  /// "https://api.fitbit.com/" (test code may replace it before first use: talvaren/testing/FitBit.hpp).
  static std::string APIBaseURL();
  /// Each is `APIBaseURL()` followed by its path, fixed at its own first use.
  static std::string fitbitDistanceEndpoint();
  static std::string fitbitStepsEndpoint();
  static std::string fitbitCaloriesEndpoint();
  static std::string fitbitSleepEndpoint();

  // The client id and secret, the session and the request log: see ProviderConnector.
  // `authorizationWasNeeded` turns true once a refused reply has started the authorisation; nothing in the
  // kit clears it.

  /// Sends one request and calls `completion` once, on the main queue.
  ///
  /// Headers: none at all with `skipHeaders`. Otherwise "Content-Type: application/json; charset=UTF-8",
  /// "Accept: application/json", "Accept-Language: en_US" and, when a token is stored,
  /// "Authorization: Bearer " + the token. A reply with a status outside 2xx, a 2xx body that is not JSON
  /// and a transport failure complete with the HTTP layer's error; 401 and 403 take the authorisation
  /// road; success completes with the parsed value (fragments allowed).
  virtual void performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                              ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                              bool skipHeaders = false, Completion completion = {});

  /// An error of domain "FitBit.TalvarenIOS.error" with `code` and no user info.
  Error genericApiError(std::int64_t code) const override;

  // Endpoints. Each sends a GET through `performAPICall` and passes its completion on unchanged.

  /// The distance series from `forDate`'s day (device zone) to the end of its month, or to today when
  /// that is earlier.
  void getMothlyDistance(const Date& forDate, Completion completion);
  /// The steps series over the same range.
  void getMothlySteps(const Date& forDate, Completion completion);
  /// The calories series over the same range.
  void getMothlyCalories(const Date& forDate, Completion completion);
  /// At most 60 sleep logs after `startDate`'s day (device zone), oldest first, first page only.
  void getSleepByDate(const Date& startDate, Completion completion);

 protected:
  FitBitConnector() = default;

 private:
  static void handleReply(const std::weak_ptr<FitBitConnector>& connector, const std::shared_ptr<const Call>& call,
                          const platform::http::DataResponse<nlohmann::json>& reply);
  void getMothlySeries(const std::string& endpoint, const Date& forDate, Completion completion);
};

}  // namespace talvaren
