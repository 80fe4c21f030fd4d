#pragma once
// Test-only: a loopback stand-in of the cloud service, over LoopbackServer, that checks requests as the
// real service does and keeps what it is sent.
//
//   testkit::LoopbackService service;
//   auto pk = service.addUser("ann@example.test", "secret", "Ann");
//   testkit::routeHttpHost("api.talvaren.test", "127.0.0.1", service.port());
//
// - Accounts: "auth/login/", "auth/signup/", "auth/login/refresh/", "auth/password/reset/" and
//   "auth/logout/". A login or signup answers {"token", "user_id", "X-API-Key", "X-API-PublicId"} and sets
//   the "csrftoken" cookie; wrong credentials get 400. Every other resource needs "Authorization: Token t"
//   of a live token or the user's "X-API-Key" and "X-API-PublicId" pair, else 401; `expireTokens()` makes
//   every token issued so far answer 401 until it is refreshed.
// - "auth/me/" (GET, PUT with JSON or with a multipart form holding the PNG part "profile.mugshot",
//   DELETE), "auth/me/email/", "auth/me/preferences/" and ".../<identifier>/" (PATCH), and
//   "auth/me/tracking-settings/" (GET, POST, PUT).
// - "heartrate/": samples by timestamp, one object or an array per POST; bodies above `maxBodyBytes`
//   are refused with 413 and the text "client intended to send too large body"; GET pages of `pageSize`
//   ({"count", "next", "previous", "results"}, "next" the next page's URL or null), filtered by
//   "timestamp__gte" and "timestamp__lte"; "heartrate/<timestamp>/" (GET, PUT).
// - "activity/", "calories/", "sleep/", "hrv-scores/": records with a server-made "uuid", filtered by
//   "date__gte", "date__lte" (the "yyyy-MM-dd" of the record's "date") and "limit"; ".../<uuid>/" (GET,
//   PUT, PATCH; not for HRV scores). "weekly-score/<yyyy-MM-dd>/", "devices/" (POST).
// - "firmwares/" and "firmwares/<uuid>/download/": only with the development key pair, filtered by
//   "device", "version_number" and "limit".
// Anything else answers 404; a method a path does not take, 405.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"

namespace talvaren::testkit {

class LoopbackService {
 public:
  struct Photo {
    std::string fileName;
    std::string content;
  };

  struct Options {
    /// Samples per heart-rate page.
    std::size_t pageSize = 1000;
    /// The largest request body taken.
    std::size_t maxBodyBytes = 1 << 20;
    /// Keep every request in `server().requests()` (benchmarks turn it off).
    bool recordRequests = true;
  };

  static constexpr const char* developmentAPIKey = "kqz";
  static constexpr const char* developmentPublicId = "4f1c9a27-6b3e-4d58-9e02-7a3b5c8d1e64";

  explicit LoopbackService(Options options);
  LoopbackService() : LoopbackService(Options()) {}
  /// Stops the server first: its handlers use the accounts, which go before it otherwise.
  ~LoopbackService() { server_.stop(); }
  LoopbackService(const LoopbackService&) = delete;
  LoopbackService& operator=(const LoopbackService&) = delete;

  LoopbackServer& server() { return server_; }
  int port() const { return server_.port(); }

  /// A new account; returns its pk.
  std::int64_t addUser(const std::string& email, const std::string& password, const std::string& firstName);
  /// Every token issued so far answers 401 from now on (refreshing one still works).
  void expireTokens();
  /// Stores heart-rate samples for the user as if they had been uploaded.
  void addHeartrates(std::int64_t pk, const std::vector<nlohmann::json>& samples);
  /// A firmware image the list offers: {"uuid", "device", "version_number", ...}.
  void addFirmware(nlohmann::json firmware);
  /// A preference of the user's account: {"section", "name", "identifier", "defaultValue", "value"}.
  void addPreference(std::int64_t pk, nlohmann::json preference);

  /// The account as "auth/me/" answers it; null for none.
  nlohmann::json user(std::int64_t pk) const;
  /// The user's samples in timestamp order.
  std::vector<nlohmann::json> heartrates(std::int64_t pk) const;
  /// The user's records of a resource ("activity", "calories", "sleep", "hrv-scores"), in creation order.
  std::vector<nlohmann::json> records(std::int64_t pk, const std::string& resource) const;
  /// The last photo received for the user.
  std::optional<Photo> photo(std::int64_t pk) const;
  /// The user's registered straps.
  std::vector<nlohmann::json> devices(std::int64_t pk) const;

 private:
  struct Account {
    std::string email;
    std::string password;
    nlohmann::json user;
    std::string apiKey;
    std::string publicId;
    std::map<std::int64_t, nlohmann::json> heartrates;
    /// The keys of `heartrates` in order, rebuilt when their count changes.
    std::vector<std::int64_t> orderedTimestamps;
    std::map<std::string, std::vector<nlohmann::json>> records;
    std::vector<nlohmann::json> preferences;
    std::optional<nlohmann::json> tracking;
    std::optional<Photo> photo;
    std::vector<nlohmann::json> devices;
  };
  using Request = httplib::Request;
  using Response = httplib::Response;

  void handle(const Request& request, Response& response);
  void login(const nlohmann::json& body, Response& response);
  void signup(const nlohmann::json& body, Response& response);
  void refresh(const nlohmann::json& body, Response& response);
  void me(const Request& request, const nlohmann::json& body, Response& response, std::int64_t pk,
          const std::string& rest);
  void heartrate(const Request& request, const nlohmann::json& body, Response& response, Account& account,
                 const std::string& rest);
  void dayRecords(const Request& request, const nlohmann::json& body, Response& response, Account& account,
                  const std::string& resource, const std::string& rest);
  void firmwares(const Request& request, Response& response, const std::string& rest);
  /// The account a request's credential names; none after writing the 401.
  Account* authenticate(const Request& request, Response& response, std::int64_t& pk);
  std::int64_t addAccount(const std::string& email, const std::string& password, const std::string& firstName);
  std::string issueToken(std::int64_t pk);
  void credentialReply(std::int64_t pk, int status, Response& response);
  std::string makeIdentifier();

  Options options_;
  LoopbackServer server_;
  mutable std::mutex mutex_;
  std::map<std::int64_t, Account> accounts_;
  std::map<std::string, std::int64_t> tokens_;
  std::set<std::string> expired_;
  std::vector<nlohmann::json> firmwares_;
  std::int64_t nextPk_ = 1;
  std::uint64_t nextIdentifier_ = 1;
};

}  // namespace talvaren::testkit
