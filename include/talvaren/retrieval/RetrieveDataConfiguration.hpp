#pragma once
// The host's entry for importing sleep, activity or calories from the device's health store, Fitbit or
// Garmin, beginning on a day the host names.
//
//   auto retrieval = RetrieveDataConfiguration::shared();
//   retrieval->setDelegate(myDelegate);                          // held weakly: keep it alive
//   retrieval->confgurationGarmin(garminKey, garminSecret);      // before the first Garmin import
//   retrieval->getSleepData(day, RetrieveDataService::healthkit, [] { /* this import has ended */ });
//
// Each import hands its records to the delegate (skipped when none is set), reports failures to its
// handlerError, then calls `complete` exactly once, unless the facade was released while the import ran,
// which drops it. Nothing is stored or cached: each call is one independent import, and several may run
// at once.
//
// Spans: the health store is read from the start of the day until now; Garmin walks day by day from that
// day up to the end of today, within a month of the day; Fitbit reads activity and calories to the end of
// the day's month or now, whichever is earlier, and at most 60 sleep logs after the day.
//
// Error latches: a Fitbit or Garmin failure other than a lost or timed-out connection sets that
// provider's latch. While it is set, the host entries and the getExternal... operations end every import
// from that provider at once, calling `complete` before they return, with no request and no delegate call.
// Only confgurationGarmin / confgurationFitbit (or the host writing the field) clears it; the provider
// paths called directly ignore it.
//
// Threads. Operations run on the caller's thread and return before any answer; the host must run the main
// queue (platform::runMainQueue() or platform::drainMainQueue()).
// - Health store: handlerError and every `complete` run on the main queue, `complete` queued after the
//   delegate call of the same import; sleep records arrive on the main queue, activity and calories
//   records on the store's own queue (on the main queue when the store's query failed).
// - Fitbit and Garmin: records, handlerError and `complete` run on the main queue, where the connectors
//   answer; a latched provider, and a Garmin import whose first day lies after today, complete on the
//   caller's thread before the operation returns. Garmin imports run one at a time: one asked for while
//   another runs starts when that one has completed.
// The delegate and the latches may be read and written from any thread.
//
// Overriding: every operation is virtual. The convenience overloads without a date are not; a subclass
// that overrides an operation brings them back with `using RetrieveDataConfiguration::<name>;`.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "talvaren/platform/Date.hpp"
#include "talvaren/retrieval/RetrieveDataAttributs.hpp"
#include "talvaren/retrieval/RetrieveDataDelegate.hpp"
#include "talvaren/retrieval/RetrieveDataService.hpp"

namespace talvaren {

class HealthManager;

class RetrieveDataConfiguration : public std::enable_shared_from_this<RetrieveDataConfiguration> {
 public:
  using Date = platform::Date;
  using Complete = std::function<void()>;
  /// The sleep paths' completion: true when records were handed over (see each path).
  using CompleteWithResult = std::function<void(bool)>;

  /// The facade of the process, made on first use.
  static std::shared_ptr<RetrieveDataConfiguration> shared();
  /// A further facade with its own health-store reader; the Fitbit and Garmin connectors behind every
  /// facade are the shared ones.
  static std::shared_ptr<RetrieveDataConfiguration> make();

  virtual ~RetrieveDataConfiguration();
  RetrieveDataConfiguration(const RetrieveDataConfiguration&) = delete;
  RetrieveDataConfiguration& operator=(const RetrieveDataConfiguration&) = delete;

  // Fields ------------------------------------------------------------------------------------------------
  /// True on a new facade; the kit never reads or changes it.
  virtual bool lastHistoryDataSuccess() const;
  virtual void setLastHistoryDataSuccess(bool value);
  /// The Garmin error latch.
  virtual bool garminReturnedErrorCode() const;
  virtual void setGarminReturnedErrorCode(bool value);
  /// The Fitbit error latch.
  virtual bool fitBitReturnedErrorCode() const;
  virtual void setFitBitReturnedErrorCode(bool value);
  /// The delegate, held weakly; none when unset or gone.
  virtual std::shared_ptr<RetrieveDataDelegate> delegate() const;
  virtual void setDelegate(std::weak_ptr<RetrieveDataDelegate> delegate);

  // Configuration -------------------------------------------------------------------------------------------
  /// Hands the Garmin OAuth consumer pair to the shared Garmin connector, lets it authorise again, and
  /// clears the Garmin latch.
  virtual void confgurationGarmin(const std::string& consumerKey, const std::string& consumerSecret);
  /// Hands the Fitbit OAuth consumer pair to the shared Fitbit connector and clears the Fitbit latch.
  virtual void confgurationFitbit(const std::string& consumerKey, const std::string& consumerSecret);

  // Host entries: one log line, then the dispatch --------------------------------------------------------
  virtual void getSleepData(Date forDate, RetrieveDataService service, Complete complete);
  virtual void getActivityData(Date forDate, RetrieveDataService service, Complete complete);
  virtual void getCaloriesData(Date forDate, RetrieveDataService service, Complete complete);

  // Dispatch by provider (latched providers complete at once); without a date: from now -------------------
  virtual void getExternalSleepData(Date forDate, RetrieveDataService service, Complete complete);
  void getExternalSleepData(RetrieveDataService service, Complete complete) {
    getExternalSleepData(Date::now(), service, std::move(complete));
  }
  virtual void getExternalActivityData(Date forDate, RetrieveDataService service, Complete complete);
  void getExternalActivityData(RetrieveDataService service, Complete complete) {
    getExternalActivityData(Date::now(), service, std::move(complete));
  }
  virtual void getExternalCaloriesData(Date forDate, RetrieveDataService service, Complete complete);
  void getExternalCaloriesData(RetrieveDataService service, Complete complete) {
    getExternalCaloriesData(Date::now(), service, std::move(complete));
  }

  // Health store ----------------------------------------------------------------------------------------------
  /// complete(true) when the reader gave a list (empty or not), false on a refusal or a failed read.
  virtual void getHealthKitSleepData(Date forDate, CompleteWithResult complete);
  virtual void getHealthKitActivityData(Date forDate, Complete complete);
  void getHealthKitActivityData(Complete complete) { getHealthKitActivityData(Date::now(), std::move(complete)); }
  virtual void getHealthKitCaloriesData(Date forDate, Complete complete);
  void getHealthKitCaloriesData(Complete complete) { getHealthKitCaloriesData(Date::now(), std::move(complete)); }

  // Fitbit ---------------------------------------------------------------------------------------------------
  /// complete(true) only after a non-empty list was handed over.
  virtual void getFitBitSleepData(Date forDate, CompleteWithResult complete);
  virtual void getFitBitActivityData(Date forDate, Complete complete);
  void getFitBitActivityData(Complete complete) { getFitBitActivityData(Date::now(), std::move(complete)); }
  virtual void getFitBitCaloriesData(Date forDate, Complete complete);
  void getFitBitCaloriesData(Complete complete) { getFitBitCaloriesData(Date::now(), std::move(complete)); }

  // Garmin ---------------------------------------------------------------------------------------------------
  /// complete(true) only after a non-empty list was handed over.
  virtual void getGarminSleepData(Date forDate, CompleteWithResult complete);
  virtual void getGarminActivityData(Date forDate, Complete complete);
  void getGarminActivityData(Complete complete) { getGarminActivityData(Date::now(), std::move(complete)); }
  virtual void getGarminCaloriesData(Date forDate, Complete complete);
  void getGarminCaloriesData(Complete complete) { getGarminCaloriesData(Date::now(), std::move(complete)); }

 protected:
  /// Latches clear, lastHistoryDataSuccess true, no delegate, a new health-store reader. Owned by a
  /// std::shared_ptr (make() or std::make_shared of a subclass): the imports hold the facade weakly.
  RetrieveDataConfiguration();

  /// The health-store reader this facade owns.
  const std::shared_ptr<HealthManager> healthManager;

 private:
  struct HealthKitRoad;
  void runHealthKitRoad(const HealthKitRoad& road, Date forDate, CompleteWithResult complete);

  std::atomic<bool> lastHistoryDataSuccess_{true};
  std::atomic<bool> garminReturnedErrorCode_{false};
  std::atomic<bool> fitBitReturnedErrorCode_{false};
  mutable std::mutex delegateMutex_;
  std::weak_ptr<RetrieveDataDelegate> delegate_;
};

}  // namespace talvaren
