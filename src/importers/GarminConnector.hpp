#pragma once
// Internal interface of importers (for retrieval): the kit's client of the Garmin Health API and the state of one
// Garmin import.
//
// Every Garmin request goes through `performAPICall`: fixed headers, GETs signed with OAuth 1.0
// (HMAC-SHA1) from the credential GarminManager stores, the request log, then one completion on the main
// queue. A refusal (403, 401 or 400) runs GarminManager's authorisation once and repeats the request;
// a second refusal in a row completes with `genericApiError(status)`.
//
// An import walks a table of days (`prepareDateTable`), one request per day, one after the other, and
// folds the summaries into one ActivitySDK, CaloriesSDK or SleepSDK per day text. The import state
// (table, index, lists) belongs to the main queue: start imports through `importData`, which queues an
// import while another runs.
//
// Members are virtual where a subclass (the testkit's GarminConnectorMock) may replace them; the
// pipeline, the chains and the repeat after an authorisation call them on the object they run on.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "talvaren/importers/GarminActivity.hpp"
#include "talvaren/importers/GarminSleep.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"
#include "talvaren/records/SleepSDK.hpp"

// Beside this header: fuzz targets include it by its path.
#include "GarminDayIndex.hpp"
#include "ProviderConnector.hpp"

namespace talvaren {

/// The kinds of Garmin import: daily summaries, activities (for calories) and sleep summaries.
enum class GarminImportKind { activity, calories, sleep };

class GarminConnector : public detail::ProviderConnector, public std::enable_shared_from_this<GarminConnector> {
 public:
  /// The records an import delivers: the list of its kind.
  using Records = std::variant<std::vector<ActivitySDK>, std::vector<CaloriesSDK>, std::vector<SleepSDK>>;
  /// (error, records) of one import.
  using ImportCompletion = std::function<void(std::optional<Error>, std::optional<Records>)>;

  /// Domain of `genericApiError`.
  static constexpr std::string_view genericErrorDomain = "SarvikDesing.TalvarenIOS.error";
  /// Length of the oauth_nonce.
  static constexpr std::int64_t nonceLength = 42;

  /// The one connector, made on first use and kept for the process.
  static std::shared_ptr<GarminConnector> sharedInstance();

  /// "https://apis.garmin.com/" (test code may point it at a loopback server: talvaren/testing/Garmin.hpp).
  static std::string APIBaseURL();
  /// APIBaseURL + "wellness-api/rest/dailies", "…/activities" and "…/sleeps", each fixed at first use.
  static std::string garminActivityEndpoint();
  static std::string garminCaloriesEndpoint();
  static std::string garminSleepEndpoint();

  // The consumer pair, the session and the request log: see ProviderConnector. `authorizationWasNeeded`
  // stays true while a refusal has started an authorisation that no later ordinary reply has cleared.

  // The import state: touched on the main queue only.
  /// Position in `dateTable` of the day whose request is in flight or next.
  std::int64_t currentDateIndex = 0;
  /// The days of the import, each at the time of day of the start date.
  std::vector<Date> dateTable;
  std::vector<SleepSDK> sleepData;
  std::vector<ActivitySDK> activityData;
  std::vector<CaloriesSDK> caloriesData;

  /// Sends one request and calls `completion` once, on the main queue, with the parsed JSON or the error.
  /// Headers: none with `skipHeaders`; otherwise "Content-Type: application/json;charset=UTF-8", "Accept:
  /// application/json", "Accept-Language: en_US", and for a GET, when a credential is stored, the OAuth
  /// "Authorization" (the URL's query items signed as texts, the oauth_* values sent in the header only).
  /// A refusal while `authorizationWasNeeded` is false authorises once: granted, the call is repeated
  /// through this object's `performAPICall`; refused, the completion gets (none, none).
  virtual void performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                              ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                              bool skipHeaders = false, Completion completion = {});
  /// An error of domain "SarvikDesing.TalvarenIOS.error" with `statusCode` and no user info.
  Error genericApiError(std::int64_t statusCode) const override;
  /// `length` letters and digits, each drawn uniformly; empty for a length of 0 or less.
  virtual std::string randomString(std::int64_t length) const;

  /// Starts a new import: the table from `startDate`, the index at 0, the three lists empty.
  virtual void prepareForCall(const Date& startDate);
  /// The days from `startDate` (time of day kept), one calendar day apart, up to the end of today and up
  /// to endOfMonth(startDate); stored in `dateTable` and returned. Empty for a start after today.
  virtual std::vector<Date> prepareDateTable(const Date& startDate);

  /// The imports of each kind over the prepared table, from `currentDateIndex` on, one day after the
  /// other; `completion` runs once: (none, the list of the kind) after the last day, (error, none) when a
  /// day's request fails, (none, none) when a reply does not decode, when the table is empty (at once,
  /// on the caller's thread) or when the index is already past the table. `startDate` is not used.
  virtual void getActivityByDate(const Date& startDate, ImportCompletion completion);
  virtual void getCaloriesByDate(const Date& startDate, ImportCompletion completion);
  virtual void getSleepByDate(const Date& startDate, ImportCompletion completion);

  /// The one request for the local day of `startDate`: GET endpoint?uploadStartTimeInSeconds=<start of
  /// the day>&uploadEndTimeInSeconds=<its last second>.
  virtual void getActivityByDay(const Date& startDate, Completion completion);
  virtual void getCaloriesByDay(const Date& startDate, Completion completion);
  virtual void getSleepByDay(const Date& startDate, Completion completion);

  /// The record of a day text in its list: the first whose `date` is the text, else a new one appended.
  /// The reference holds until the list next grows.
  virtual ActivitySDK& getActivityByDate(const std::string& date);
  virtual CaloriesSDK& getCaloriesByDate(const std::string& date);
  virtual SleepSDK& getRecoveryByDate(const std::string& date);

  /// Fold decoded summaries into the lists, in order. A summary without `calendarDate` takes the UTC day
  /// of its start plus its offset (plus, for sleep, its duration), the wall-clock day at the user's
  /// offset; one that lacks any of those has no day and is skipped.
  void addDailies(const std::vector<GarminActivity>& dailies);
  void addActivities(const std::vector<GarminActivity>& activities);
  void addSleeps(const std::vector<GarminSleep>& sleeps);

  /// The import entry, the one the retrieval facade uses: runs prepareForCall(startDate) and the chain of `kind`,
  /// and calls `completion` once. Called on the main queue with no import running, it behaves exactly as
  /// those two calls (an empty table completes before it returns); while an import runs, the new one is
  /// queued and starts, in order, once the running one's completion has returned; called from another
  /// thread, it starts on the main queue.
  void importData(GarminImportKind kind, const Date& startDate, ImportCompletion completion);

 protected:
  /// Every value empty, the flag false.
  GarminConnector() = default;

 private:
  struct PendingImport {
    GarminImportKind kind;
    Date startDate;
    ImportCompletion completion;
  };
  static void handleReply(const std::weak_ptr<GarminConnector>& connector, const std::shared_ptr<const Call>& call,
                          const platform::http::DataResponse<JSON>& reply);
  /// The headers of one request: the fixed three and, for a signed GET, the OAuth "Authorization".
  HTTPHeaders requestHeaders(HTTPMethod method, const std::string& url, bool skipHeaders) const;
  void startImport(PendingImport import);
  template <class Summary>
  void runChain(std::string_view countLine, std::string_view decodingLine,
                void (GarminConnector::*day)(const Date&, Completion),
                void (GarminConnector::*fold)(const std::vector<Summary>&), Records (GarminConnector::*list)() const,
                ImportCompletion completion);
  Records activityList() const { return activityData; }
  Records caloriesList() const { return caloriesData; }
  Records sleepList() const { return sleepData; }

  // Day text to position in its list, beside each list (main queue only).
  detail::DayIndex activityIndex_;
  detail::DayIndex caloriesIndex_;
  detail::DayIndex sleepIndex_;

  // Imports started through importData (main queue only).
  bool importRunning_ = false;
  std::deque<PendingImport> pendingImports_;
};

}  // namespace talvaren
