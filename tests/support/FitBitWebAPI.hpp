#pragma once
// A loopback Fitbit Web API for tests: the daily distance, steps and calories series and the sleep list.
// It checks each request as the provider would: "Authorization: Bearer <token>" with a token it has
// issued (its own or one handed out by a linked OAuth 2.0 provider), else 401 with Fitbit's error body;
// the fixed headers "Accept: application/json", "Accept-Language: en_US" and "Content-Type:
// application/json; charset=UTF-8", no body on a GET; a series range that does not end before it starts;
// a sleep query with afterDate, sort=asc, a limit of at most 100 and offset=0. A request that breaks a
// rule gets 400 and a line in `problems()`.
//
//   FitBitWebAPI api(&fitbitProvider);
//   api.acceptToken("t1");
//   api.series("distance", "2019-03-05", "2019-03-31", {{{"dateTime", "2019-03-05"}, {"value", "1.2"}}});
//   api.sleepLogs({{{"dateOfSleep", "2019-03-06"}, {"minutesAsleep", 420}, {"logId", 7}}});

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"
#include "support/OAuth2Provider.hpp"

namespace talvaren::testkit {

class FitBitWebAPI {
 public:
  /// `provider`, when given, must outlive this server: its issued tokens are accepted too.
  explicit FitBitWebAPI(const OAuth2Provider* provider = nullptr);

  LoopbackServer& server() { return server_; }
  /// "http://127.0.0.1:<port>/", the base the endpoint paths are appended to.
  std::string baseURL() const { return server_.url("/"); }

  void acceptToken(std::string token);

  /// Serves `points` as {"activities-<resource>": points} for the range start..end ("yyyy-MM-dd").
  void series(const std::string& resource, const std::string& start, const std::string& end, nlohmann::json points);
  /// Serves this status and body instead, once the request has passed the checks.
  void seriesReply(const std::string& resource, const std::string& start, const std::string& end, int status,
                   std::string body);
  /// The logs of the sleep list, served by the query: after the day, ascending, one page.
  void sleepLogs(nlohmann::json logs);

  /// Requests refused with 401.
  std::size_t refusals() const;
  std::vector<std::string> problems() const;

 private:
  /// Answers 401 or 400 and returns false when the request breaks a rule.
  bool admit(const httplib::Request& request, httplib::Response& response);
  void refuse(httplib::Response& response, int status, const std::string& type, const std::string& message);
  void serveSleep(const httplib::Request& request, httplib::Response& response);

  const OAuth2Provider* provider_;
  mutable std::mutex mutex_;
  std::vector<std::string> tokens_;
  nlohmann::json sleepLogs_ = nlohmann::json::array();
  std::size_t refusals_ = 0;
  std::vector<std::string> problems_;
  LoopbackServer server_;
};

}  // namespace talvaren::testkit
