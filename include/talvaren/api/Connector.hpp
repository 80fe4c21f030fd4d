#pragma once
// The kit's client of the maker's REST server.
//
// One shared instance, `Connector::sharedInstance()`. Every server operation is a member of `Connector`
// and sends its request through `performAPICall` (or, for the firmware list and link, `performAPICallDev`),
// called on the object the operation was called on: a subclass that overrides the two receives every
// request. Members are virtual where a subclass may replace them.
//
// Settings live in the standard user defaults ("APIBaseURL", "CSRFToken"), credentials in the keychain
// ("ConnectorToken", "ConnectorAPI", "UserLogin", "UserPassword"); both are read afresh on every request.
// Requests are built and started on the calling thread; every reply handler and completion runs once, on
// the main queue. The host sets `APIBaseURL` before the first server call: each endpoint's URL is fixed
// from it at that endpoint's first use, for the life of the process.

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "talvaren/api/APIKey.hpp"
#include "talvaren/api/APIToken.hpp"
#include "talvaren/api/ServerReply.hpp"
#include "talvaren/api/User.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/FileManager.hpp"
#include "talvaren/platform/Image.hpp"
#include "talvaren/platform/Keychain.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"
#include "talvaren/records/Device.hpp"
#include "talvaren/records/HRVScore.hpp"
#include "talvaren/records/HeartrateSDK.hpp"
#include "talvaren/records/PreferencesData.hpp"
#include "talvaren/records/SleepSDK.hpp"
#include "talvaren/records/Track.hpp"

namespace talvaren {

/// User-defaults key of the server base URL.
inline constexpr std::string_view APIBaseURLKey = "APIBaseURL";
/// User-defaults key of the CSRF token.
inline constexpr std::string_view CSRFTokenKey = "CSRFToken";
/// The notification posted (no object) when the server refuses a request's credential.
inline constexpr std::string_view TokenExpiredNotification = "tokenExpired";
/// User-defaults key of the logged-in user's pk (an integer).
inline constexpr std::string_view OwnerKey = "owner";

class RecoverySDK;
class WorkoutSDK;
class Connector : public std::enable_shared_from_this<Connector> {
 public:
  using HTTPMethod = platform::http::HTTPMethod;
  using Parameters = platform::http::Parameters;
  using ParameterEncoding = platform::http::ParameterEncoding;
  using HTTPHeaders = platform::http::HTTPHeaders;
  using Completion = ServerCompletion;

  /// Keychain item keys.
  static constexpr std::string_view KeychainTokenKey = "ConnectorToken";
  static constexpr std::string_view KeychainAPIKey = "ConnectorAPI";
  static constexpr std::string_view KeychainLoginKey = "UserLogin";
  static constexpr std::string_view KeychainPasswordKey = "UserPassword";
  /// Domain of `genericApiError`.
  static constexpr std::string_view genericErrorDomain = "SarvikDesing.TalvarenIOS.error";
  /// The request log of `verboseRequest` is written while this is true.
  static constexpr bool DEBUG_MODE = true;

  /// The one client, made on first use and kept for the process.
  static std::shared_ptr<Connector> sharedInstance();

  /// The server base URL (the text under "APIBaseURL" in the standard user defaults; empty when unset).
  static std::string APIBaseURL();
  static void setAPIBaseURL(const std::string& url);

  /// Base URL + "auth/login/", fixed at first use.
  static std::string loginEndpoint();
  /// Base URL + "auth/logout/", fixed at first use.
  static std::string logoutEndpoint();

  virtual ~Connector() = default;
  Connector(const Connector&) = delete;
  Connector& operator=(const Connector&) = delete;

  /// 0 after construction; the kit does not use it otherwise.
  virtual std::int64_t requestCounter() const;
  virtual void setRequestCounter(std::int64_t value);

  /// The text under "CSRFToken" in the standard user defaults; setting none removes the key.
  virtual std::optional<std::string> CSRFToken() const;
  virtual void setCSRFToken(const std::optional<std::string>& token);

  /// The keychain of the credentials: the shared keychain holder's ("SarvikDesign.TalvarenIOS").
  virtual platform::Keychain keychain() const;
  /// The HTTP session: the layer's default one.
  virtual std::shared_ptr<platform::http::SessionManager> manager() const;

  /// The token stored in the keychain, read on every call. Setting any value, present or not, deletes it.
  virtual std::optional<APIToken> token() const;
  virtual void setToken(const std::optional<APIToken>& ignored);
  /// The API key stored in the keychain, read on every call. Setting any value deletes it.
  virtual std::optional<APIKey> apiKey() const;
  virtual void setApiKey(const std::optional<APIKey>& ignored);

  /// Sends one request to the server and calls `completion` once, on the main queue, with the mapped
  /// reply (see `mapServerReply` in ServerReply.hpp).
  ///
  /// Headers: with `skipHeaders` only "User-Agent". Otherwise "Content-Type: application/json;
  /// charset=UTF-8", "Accept: application/json", "User-Agent", "X-CSRFToken" when a CSRF token is stored,
  /// then either "X-API-Key" = `apiKey` when it is given, or the stored token's "Authorization" and the
  /// stored API key's "X-API-Key" and "X-API-PublicId" (each when stored; stored values win).
  /// The User-Agent is "version: <release> build:<build>;iOS " (missing numbers "Unknown"), a blank and
  /// the device's model name. A present `httpBody` replaces the encoded parameters in the body. The reply
  /// must have a 2xx status and a JSON content type when "Accept" was sent, and parse as JSON (fragments
  /// allowed). A URL text that is no URL, or parameters that cannot be encoded, send nothing: the
  /// completion gets ("NSURLErrorDomain", -1000) or the encoding error.
  virtual void performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                              ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                              bool skipHeaders = false, const std::optional<Bytes>& httpBody = std::nullopt,
                              const std::optional<std::string>& apiKey = std::nullopt, Completion completion = {});

  /// The same with only the two fixed development headers "X-API-Key" and "X-API-PublicId": no User-Agent,
  /// "Content-Type", "Accept", CSRF token or stored credential.
  virtual void performAPICallDev(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                                 ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                                 const std::optional<Bytes>& httpBody = std::nullopt, Completion completion = {});

  // MARK: Firmware package download

  /// What a download completes with: the error, or the saved file's path.
  using DownloadCompletion = std::function<void(std::optional<Error>, std::optional<std::filesystem::path>)>;

  /// Downloads `url` to Documents/<file>.zip and calls `completion` once, on the main queue, with the file's
  /// path. The request is a plain GET of `url` without the client's headers; `method`, `parameters`,
  /// `encoding` and `httpBody` only reach the request log. A file already there is replaced only by a
  /// complete download with a 2xx status: a failed, cut or refused transfer leaves it as it was and
  /// leaves nothing else behind.
  /// Errors: a reply outside 2xx ("", status); a `file` that is empty, ".", "..", or holds "/" or NUL
  /// ("NSCocoaErrorDomain", 514; nothing sent); no Documents folder (the file error, 4); transport errors
  /// as they come; no file and no error ("NSURLErrorDomain", -3007); a file that cannot be read back
  /// ("NSCocoaErrorDomain", -1016). With `checksum`, prints "Checksum: <checksum>\nMD5: <digest>" and fails
  /// with ("Checksum doesn't match", -1017) unless the lower-case hex MD5 of the file equals it exactly;
  /// the file then stays in Documents until the next download to that name.
  virtual void performDownloadCall(HTTPMethod method, const std::string& url, const std::string& file,
                                   const std::optional<std::string>& checksum,
                                   const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                   const std::optional<Bytes>& httpBody, DownloadCompletion completion);
  /// The Documents folder of the application home; looking it up creates nothing.
  virtual platform::FileResult<std::filesystem::path> getDocumentsURL() const;

  // MARK: Workouts

  /// Base URL + "workouts/", fixed at first use.
  static std::string workoutsEndpoint();
  /// Base URL + "workouts/calculations/", fixed at first use.
  static std::string hrCalculationsEndpoint();

  // Every endpoint operation sends through `performAPICall` of the object it is called on (JSON encoding,
  // the full header set) and hands the completion's pair on unchanged. Identifiers go into the path as one
  // segment, percent-escaped except letters, digits and "-._~". Day texts are "yyyy-MM-dd" in the
  // device's time zone. A record that has no body, or no `uuid` where its path needs one, prints one
  // line, sends nothing and never calls the completion.

  void getManyWorkouts(Completion completion);
  /// GET workouts/<uuid>/.
  void getWorkout(const std::string& uuid, Completion completion);
  /// GET workouts/?date__gte=<start>&date__lte=<end>, then &limit=<limit> when given.
  void getMonthlyWorkouts(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                          Completion completion);
  /// POST workouts/ with the workout's JSON; refused: "Failed to parse workout data to json!".
  void postWorkout(const WorkoutSDK& workout, Completion completion);
  /// PUT workouts/<workout.uuid>/; refused: "Failed to parse workout data to json!".
  void putWorkout(const WorkoutSDK& workout, Completion completion);
  /// PATCH workouts/<workout.uuid>/; refused: "UUID missing or failed to parse workout to json".
  void patchWorkout(const WorkoutSDK& workout, Completion completion);
  /// DELETE workouts/<uuid>/.
  void deleteWorkout(const std::string& uuid, Completion completion);
  /// POST workouts/calculations/ with the workout's JSON; refused: "Failed to parse workout data to json!".
  void postHRCalculations(const WorkoutSDK& workout, Completion completion);

  // MARK: Recovery

  /// Base URL + "recovery/", fixed at first use.
  static std::string recoveryEndPoint();

  void getMenyRecoveries(Completion completion);
  /// GET recovery/<uuid>/.
  void getRecoverie(const std::string& uuid, Completion completion);
  /// GET recovery/?date__gte=<start>&date__lte=<end>, then &limit=<limit> when given.
  void getMonthlyRecoveries(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                            Completion completion);
  /// POST recovery/ with the entry's JSON; refused: "Failed to parse recovery data to json!".
  void postRecovery(const RecoverySDK& recovery, Completion completion);
  /// PUT recovery/<recovery.uuid>/; refused: "Failed to parse recovery data to json!".
  void putRecovery(const RecoverySDK& recovery, Completion completion);
  /// PATCH recovery/<recovery.uuid>/; refused: "UUID missing or failed to parse recovery to json".
  void patchRecovery(const RecoverySDK& recovery, Completion completion);

  // MARK: Daily zones

  /// Base URL + "daily_zones/", fixed at first use.
  static std::string dailyZonesEndPoint();

  /// GET daily_zones/?date=<day>.
  void getManyDaliyZones(const Date& date, Completion completion);
  /// GET daily_zones/?date=<day>&limit=1: the day's first entry, in the server's shape.
  void getDaliyZones(const Date& date, Completion completion);
  /// GET daily_zones/?date__gte=<start>&date__lte=<end>, then &limit=<limit> when given.
  void getMonthlyDaliyZones(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                            Completion completion);

  /// An error of domain "SarvikDesing.TalvarenIOS.error" with `code` and no user info.
  virtual Error genericApiError(std::int64_t code) const;
  /// Always empty.
  virtual HTTPHeaders authorizationHeaders() const;
  /// While `DEBUG_MODE` is true, prints the request between two lines of "---------------------":
  /// "Request: " + URL, "Method: " + the method in lower case, "Headers: " + the headers, then "Parameters:"
  /// and the parameters when present, then "Body:" and "<n> bytes" when a body is present. Credential
  /// header values ("Authorization", "X-API-Key", "X-CSRFToken") and the values of secret parameters such as
  /// "password", "password1" and "token", at any depth, print as "<redacted>" (`redact::parameters`).
  virtual void verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                              const HTTPHeaders& headers, HTTPMethod method,
                              const std::optional<Bytes>& httpBody) const;
  /// True when the shared instance has a stored token (whichever object is asked).
  virtual bool isLoggedInToken() const;
  /// True when the shared instance has a stored API key (whichever object is asked).
  virtual bool isLoggedInAPIKey() const;
  /// Forgets every stored credential: the token, the login data, the token again, the API key, the API
  /// key again. The CSRF token, the user defaults and the server are left alone.
  virtual void logout();

  // Credentials in `keychain()`. None reports an error; a refused change is ignored, except that a token or
  // API key the keychain refuses costs one console line saying so and why (never the credential itself).
  /// Stores `token` under "ConnectorToken" as its `toJSON()` object, replacing the item.
  virtual void saveTokenToKeychain(const APIToken& token) const;
  /// The stored token; none when the item is missing or holds anything that makes no token.
  virtual std::optional<APIToken> getTokenFromKeychain() const;
  virtual void removeTokenFromKeyChain() const;
  /// Stores `apiKey` under "ConnectorAPI" as its `toJSON()` object, replacing the item.
  virtual void saveApiKeyToKeychain(const APIKey& apiKey) const;
  virtual std::optional<APIKey> getApiKeyFromKeychain() const;
  virtual void removeApiKeyFromKeyChain() const;
  /// Stores the two texts under "UserLogin" and "UserPassword", empty ones included.
  virtual void saveLoginDataToKey(const std::string& login, const std::string& password) const;
  /// (login, password), or none unless both items are present.
  virtual std::optional<std::pair<std::string, std::string>> getLoginDataFromKeychain() const;
  /// Deletes "UserLogin", then "UserPassword".
  virtual void removeLoginDataFromKeychain() const;

  // MARK: Login, signup, logout, token refresh, password reset
  //
  // Login and signup data are sent whole as the JSON body. Before the request the kit stores "email" with
  // "password" (login) or "password1" (signup) as the login data, when both are present, whatever the
  // outcome. A reply that makes a credential stores it before the completion runs: a token for the token
  // scheme; for the API-key scheme the reply's key pair with the key replaced by the `apiKey` argument.

  /// Login and signup data: text keys to text values.
  using LoginData = std::map<std::string, std::string>;

  /// Base URL + "auth/signup/", fixed at first use.
  static std::string signupEndpoint();
  /// Base URL + "auth/login/refresh/", fixed at first use.
  static std::string tokenRefreshEndpoint();
  /// Base URL + "auth/password/reset/", fixed at first use.
  static std::string passwordResetEndpoint();

  /// POST auth/login/ with the User-Agent only; stores the token of the reply.
  void postLoginUser(const LoginData& loginData, Completion completion);
  /// POST auth/login/ with the full header set (the stored credentials; `apiKey` itself is not sent);
  /// stores the reply's API key with `apiKey` as its key.
  void postLoginUserAPIKey(const std::string& apiKey, const LoginData& loginData, Completion completion);
  /// POST auth/signup/ with the User-Agent only; stores the token of the reply.
  void postSignupUser(const LoginData& signupData, Completion completion);
  /// POST auth/signup/ sending `apiKey` as "X-API-Key"; stores the reply's API key with `apiKey` as its key.
  void postSignupUserAPIKey(const std::string& apiKey, const LoginData& signupData, Completion completion);
  /// POST auth/login/refresh/ {"token": token} with the User-Agent only; stores the token of the reply.
  void refreshToken(const std::string& token, Completion completion);
  /// POST auth/password/reset/ {"email": email} with the User-Agent only.
  void postPasswordReset(const std::string& email, Completion completion);
  /// GET auth/logout/ with the full header set; after the completion the CSRF token is cleared, whatever
  /// the outcome. The keychain is left alone (see `logout()`).
  void postLogoutUser(Completion completion);
  /// Stores an API key the host already holds.
  void saveAPIKey(const std::string& apiKey, const std::string& publicId);
  /// The integer under "owner" in the standard user defaults; 0 when none is stored.
  static std::int64_t getOwnerId();
  /// Stores `user.pk` under "owner"; a user without pk leaves the stored value.
  static void saveOwnerToDefaults(const User& user);

  // MARK: Account
  //
  // The user the request's credential names. Identifiers go into paths as one escaped path segment.

  /// Base URL + "auth/me/", fixed at first use.
  static std::string userEndPoint();
  /// Base URL + "auth/me/email/", fixed at first use.
  static std::string userEmailEndPoint();
  /// Base URL + "auth/me/preferences/", fixed at first use.
  static std::string userPreferencesEndPoint();

  /// Logs the URL, then GET auth/me/.
  void getMe(Completion completion);
  /// Logs "user json: " and the body, then PUT auth/me/ with `user.toJSON()`.
  void updateMe(const User& user, Completion completion);
  /// DELETE auth/me/.
  void deleteMe(Completion completion);
  /// Logs "user email json: " and the body, then PUT auth/me/email/ with the whole `user.toJSON()`.
  void updateEmail(const User& user, Completion completion);
  /// Logs the URL, then GET auth/me/preferences/.
  void getUserPreferences(Completion completion);
  /// PATCH auth/me/preferences/<identifier>/ with the preference's JSON; a preference without identifier
  /// sends nothing and never completes.
  void patchUserPreferences(const PreferencesData& preferences, Completion completion);
  /// PUT auth/me/ as a multipart form of one part "profile.mugshot" ("ic_user_photo.png", "image/png"),
  /// outside the request pipeline: "Content-type" is the form's, plus the stored API key's pair; no
  /// token. The completion runs once per progress report (reply: the progress, no error), then once with
  /// the outcome as the reply and, when the upload failed or the status is outside 200...299, an error
  /// (the failure's, or ("", status, the body text)). An image without PNG data, or a form that cannot be
  /// sent, completes once with an error alone.
  void updateMeImage(const platform::Image& image, Completion completion);

  // MARK: Heart rate
  //
  // Timestamps go into paths as one escaped path segment.

  /// Base URL + "heartrate/", fixed at first use.
  static std::string heartrateEndPoint();
  /// What the last paged download gathered (emptied on the main queue when a download starts at page 1).
  static std::vector<HeartrateSDK> heartrateData();
  static void setHeartrateData(std::vector<HeartrateSDK> samples);
  /// The samples of a bulk upload's fallback requests.
  static constexpr std::size_t heartrateChunkSize = 512;
  /// The refusal text that makes a bulk upload fall back to chunks (case-sensitive).
  static constexpr std::string_view tooLargeBodyRefusal = "client intended to send too large body";

  /// GET heartrate/.
  void getManyHeartrate(Completion completion);
  /// GET heartrate/<timestamp>/.
  void getHeartrate(const std::string& timestamp, Completion completion);
  /// Pages through GET heartrate/?timestamp__gte=<start>&timestamp__lte=<end>&page=<page> while a reply's
  /// "next" holds a text, and completes once with the samples gathered (reply: the list) and the error, if
  /// any: the transport's, or `genericApiError(-1)` after "Decoding heartrate error" for a page without a
  /// "results" list of samples. A download from a page other than 1 starts from `heartrateData()`.
  /// Start it from the main queue; one download at a time keeps `heartrateData()` meaningful.
  void getHeartrate(std::int64_t startTimestamp, std::int64_t endTimestamp, std::int64_t page, Completion completion);
  /// POST heartrate/ with the sample's JSON.
  void postHeartrate(const HeartrateSDK& heartrate, Completion completion);
  /// PUT heartrate/<timestamp>/ with the sample's JSON; a sample without timestamp sends nothing.
  void putHeartrate(const HeartrateSDK& heartrate, Completion completion);
  /// POST heartrate/ with every sample as one JSON array. When the server refuses the body as too large,
  /// sends chunks of 512 through `postHeartratesReduce`, all at once, completing once per chunk; the
  /// refusal itself is not reported. An empty list sends nothing and never completes.
  void postHeartrates(const std::vector<HeartrateSDK>& heartrates, Completion completion);
  /// POST heartrate/ with the samples as one JSON array, never split.
  void postHeartratesReduce(const std::vector<HeartrateSDK>& heartrates, Completion completion);

  // MARK: Day records
  //
  // Ranges ask "?date__gte=<day>&date__lte=<day>" and "&limit=<n>" when given, the days "yyyy-MM-dd" in
  // the device's zone. Record identifiers and days go into paths as one escaped path segment. A record
  // that cannot be sent (no uuid where the path needs one, no JSON) logs its line, sends nothing and never
  // completes.

  /// Base URL + the resource's path, each fixed at first use.
  static std::string activityEndpoint();
  static std::string caloriesEndpoint();
  static std::string sleepEndpoint();
  static std::string HRVScoreEndpoint();
  static std::string trackingEndPoint();
  static std::string weeklyScoreEndPoint();
  static std::string devicesEndpoint();

  void getManyActivities(Completion completion);
  void getActivitie(const std::string& uuid, Completion completion);
  void getMonthlyActivities(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                            Completion completion);
  void postActivity(const ActivitySDK& activity, Completion completion);
  void putActivity(const ActivitySDK& activity, Completion completion);
  void patchActivity(const ActivitySDK& activity, Completion completion);

  void getManyCalories(Completion completion);
  void getCalories(const std::string& uuid, Completion completion);
  void getMonthlyCalories(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                          Completion completion);
  void postCalories(const CaloriesSDK& calories, Completion completion);
  void putCalories(const CaloriesSDK& calories, Completion completion);
  void patchCalories(const CaloriesSDK& calories, Completion completion);

  void getManySleep(Completion completion);
  void getSleep(const std::string& uuid, Completion completion);
  void getMonthlySleep(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                       Completion completion);
  void postSleep(const SleepSDK& sleep, Completion completion);
  /// Sends the record with POST (not PUT) to sleep/<uuid>/.
  void putSleep(const SleepSDK& sleep, Completion completion);

  void getHRVScores(Completion completion);
  void getMonthlyHRVScores(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                           Completion completion);
  void postHRVScores(const HRVScore& score, Completion completion);

  /// Logs the URL, then GET auth/me/tracking-settings/.
  void getTracking(Completion completion);
  /// Logs "tracking json: " and the body, then POST auth/me/tracking-settings/.
  void postTracking(const Track& track, Completion completion);
  /// Logs "tracking json: " and the body, then PUT auth/me/tracking-settings/ (no identifier).
  void putTracking(const Track& track, Completion completion);

  /// GET weekly-score/<yyyy-MM-dd>/ for the device-local day of `date`.
  void getWeeklyScore(const Date& date, Completion completion);
  /// POST devices/ with the strap's registration.
  void postDevices(const Device& devies, Completion completion);

  // MARK: Firmware
  //
  // Both go through `performAPICallDev`: only the development headers, no user credential.

  /// Base URL + "firmwares/", fixed at first use.
  static std::string firmwareListEndpoint();
  /// GET firmwares/ with the given filters as the query ("device", "limit", "version_number", ascending,
  /// escaped); no filter, no "?".
  void getFirmwaresList(const std::optional<std::string>& device, std::optional<std::int64_t> limit,
                        const std::optional<std::string>& versionNumber, Completion completion);
  /// GET firmwares/<uuid>/download/.
  void getFirmwareLink(const std::string& uuid, Completion completion);

 protected:
  /// Sets `requestCounter` to 0. Subclasses (test doubles) are independent of the shared instance.
  Connector() = default;

  /// The reply handler both request paths attach: captures the CSRF cookie while none is stored, prints
  /// the four reply lines, posts "tokenExpired" when due and calls `completion` once.
  static void handleReply(const std::weak_ptr<const Connector>& client, HTTPMethod method, const std::string& url,
                          platform::http::DataResponse<nlohmann::json> reply, const Completion& completion);
  /// Starts `url` through `manager()` with validation and the reply handler.
  void send(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
            ParameterEncoding encoding, std::optional<HTTPHeaders> headers, const std::optional<Bytes>& httpBody,
            Completion completion) const;

 private:
  std::int64_t requestCounter_ = 0;
};

}  // namespace talvaren
