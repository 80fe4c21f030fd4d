#pragma once
// A loopback Garmin Health API for tests: GET "/wellness-api/rest/dailies", "…/activities" and
// "…/sleeps" with "uploadStartTimeInSeconds" and "uploadEndTimeInSeconds". It checks every request as
// the provider does, with its own signature code (OAuth1Verifier, never the kit's signer): an OAuth 1.0a
// HMAC-SHA1 header from the consumer and an access token it knows (the token's secret comes from
// `tokenSecret`), both window bounds as whole numbers with start <= end and nothing else in the query.
// Unsigned or badly signed requests get 401 with no body, a bad window 400; each problem is recorded.
// A good request gets the JSON array of the summaries scripted for its kind whose upload time lies in
// the window.
//
//   testkit::GarminHealthAPI api("key", "secret", [&](const std::string& token) { ... secret ... });
//   api.add(GarminHealthAPI::Kind::sleeps, 1700000100, {{"calendarDate", "2023-11-14"}, ...});
//   testkit::setGarminAPIBaseURL(api.baseURL());

#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"
#include "support/OAuth1Provider.hpp"

namespace talvaren::testkit {

class GarminHealthAPI {
 public:
  enum class Kind { dailies, activities, sleeps };
  using TokenSecret = std::function<std::optional<std::string>(const std::string& token)>;

  GarminHealthAPI(std::string consumerKey, std::string consumerSecret, TokenSecret tokenSecret);

  LoopbackServer& server() { return server_; }
  /// The base URL the endpoint paths are appended to ("http://127.0.0.1:<port>/").
  std::string baseURL() const { return server_.url("/"); }

  /// Serves `summary` to requests of `kind` whose window holds `uploadTime`.
  void add(Kind kind, std::int64_t uploadTime, nlohmann::json summary);
  /// Answers the next `count` requests, however good, with `status` and no body.
  void refuseNext(int status, int count = 1);

  /// One request as the API saw it.
  struct Served {
    Kind kind = Kind::dailies;
    std::int64_t start = 0;
    std::int64_t end = 0;
    int status = 0;
    /// The access token the request was signed with.
    std::optional<std::string> token;
  };
  std::vector<Served> served() const;
  std::vector<std::string> problems() const;

 private:
  void answer(Kind kind, const httplib::Request& request, httplib::Response& response);

  TokenSecret tokenSecret_;
  OAuth1Verifier verifier_;
  mutable std::mutex mutex_;
  struct Summary {
    Kind kind = Kind::dailies;
    std::int64_t uploadTime;
    nlohmann::json value;
  };
  std::vector<Summary> summaries_;
  std::vector<int> refusals_;
  std::vector<Served> served_;
  std::vector<std::string> problems_;
  LoopbackServer server_;
};

}  // namespace talvaren::testkit
