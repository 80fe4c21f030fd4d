#pragma once
// A retrieval delegate that writes every call into one trace, with the queue it ran on, and helpers to
// put `complete` calls into the same trace.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/retrieval/RetrieveDataAttributs.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"
#include "talvaren/testing/Retrieval.hpp"

namespace talvaren::testkit {

inline std::string queueName() { return platform::DispatchQueue::currentLabel().value_or("caller"); }

inline std::string serviceName(RetrieveDataService service) {
  static const char* const names[] = {"healthkit", "fitbit", "garmin"};
  return names[static_cast<int>(service)];
}

inline std::string typeName(RetieveDataType type) {
  static const char* const names[] = {"sleep", "activity", "calories"};
  return names[static_cast<int>(type)];
}

/// "errorFitbitData(401)", "errorHealthKitAuthorization".
inline std::string errorName(const ErrorRetrieve& error) {
  static const char* const names[] = {"errorHealthKit", "errorFitbitData", "errorGarminData",
                                      "errorHealthKitAuthorization"};
  std::string text = names[static_cast<int>(error.kind())];
  if (error.message()) text += "(" + *error.message() + ")";
  return text;
}

/// One trace shared by the delegate and the completions: "sleep healthkit 2 @main", "complete @main".
class Trace {
 public:
  void add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event) + " @" + queueName());
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

  RetrieveDataConfiguration::Complete complete() {
    return [this] { add("complete"); };
  }
  RetrieveDataConfiguration::CompleteWithResult completeWithResult() {
    return [this](bool result) { add(result ? "complete(true)" : "complete(false)"); };
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

class RecordingDelegate : public RetrieveDataDelegate {
 public:
  explicit RecordingDelegate(Trace& trace) : trace_(trace) {}

  void didSleepsData(const std::vector<SleepSDK>& data, RetrieveDataService service) override {
    keep(sleeps, data, "sleep", service);
  }
  void didActivityData(const std::vector<ActivitySDK>& data, RetrieveDataService service) override {
    keep(activities, data, "activity", service);
  }
  void didCaloriesData(const std::vector<CaloriesSDK>& data, RetrieveDataService service) override {
    keep(calories, data, "calories", service);
  }
  void handlerError(const ErrorRetrieve& error, RetieveDataType type) override {
    trace_.add("handlerError " + errorName(error) + " " + typeName(type));
    if (whileHandling) whileHandling();
  }

  /// Runs at the end of every call, on the queue of the call.
  std::function<void()> whileHandling;

  // The lists of the latest call of each kind.
  std::vector<SleepSDK> sleeps;
  std::vector<ActivitySDK> activities;
  std::vector<CaloriesSDK> calories;

 private:
  template <class Record>
  void keep(std::vector<Record>& slot, const std::vector<Record>& data, const char* kind, RetrieveDataService service) {
    {
      std::lock_guard lock(mutex_);
      slot = data;
    }
    trace_.add(std::string(kind) + " " + serviceName(service) + " " + std::to_string(data.size()));
    if (whileHandling) whileHandling();
  }

  Trace& trace_;
  std::mutex mutex_;
};

/// A new shared facade whose delegate records into `trace_`; made after the dispatch executor of the test.
struct RetrievalSetup {
  RetrievalSetup() {
    resetSharedRetrieveDataConfiguration();
    facade_ = RetrieveDataConfiguration::shared();
    facade_->setDelegate(delegate_);
  }
  ~RetrievalSetup() { resetSharedRetrieveDataConfiguration(); }

  Trace trace_;
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>(trace_);
  std::shared_ptr<RetrieveDataConfiguration> facade_;
};

/// True when `expected` appear in `lines` in this order (other lines may come between).
inline ::testing::AssertionResult linesInOrder(const std::vector<std::string>& lines,
                                               const std::vector<std::string>& expected) {
  auto at = lines.begin();
  for (const auto& line : expected) {
    at = std::find(at, lines.end(), line);
    if (at == lines.end()) return ::testing::AssertionFailure() << "missing, or out of order: \"" << line << "\"";
    ++at;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace talvaren::testkit
