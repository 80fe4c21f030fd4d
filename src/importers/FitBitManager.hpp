#pragma once
// Internal interface of importers (for retrieval): the Fitbit OAuth 2.0 implicit grant and the stored access token, and
// the monthly activity and calories series turned into the kit's records.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "importers/APIManager.hpp"
#include "talvaren/importers/FitBitActivity.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/oauth/OAuth2Swift.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"

namespace talvaren {

/// User-defaults key of the access token.
inline constexpr std::string_view FitBitAuthTokenKey = "FitBitAuthToken";
/// Provider name of every record imported from Fitbit.
inline constexpr std::string_view FitBitProviderName = "fit_bit_api";

class FitBitManager : public APIManager {
 public:
  /// Records first, then the error.
  using ActivitiesCompletion = std::function<void(std::optional<std::vector<ActivitySDK>>, std::optional<Error>)>;
  using CaloriesCompletion = std::function<void(std::optional<std::vector<CaloriesSDK>>, std::optional<Error>)>;

  /// Which series a list of points belongs to.
  enum class ActivityType : std::int64_t { distance = 0, steps = 1, calories = 2 };

  static std::shared_ptr<FitBitManager> sharedInstance();

  /// Fitbit's authorisation page (test code may point it elsewhere: talvaren/testing/OAuth.hpp).
  static std::string authorizeURL();

  /// The client of the latest authorisation that got past the switch.
  std::shared_ptr<platform::oauth::OAuth2Swift> oauthswift;

  /// The stored access token, or none.
  virtual std::optional<std::string> oauthToken() const;
  /// Stores the token; none removes it.
  virtual void setOauthToken(const std::optional<std::string>& token);

  /// Runs the whole flow and calls `completion` exactly once: true once a token is stored, false
  /// otherwise (at once, synchronously, while the switch is thrown; also when the page is closed or this
  /// flow is replaced by a newer one). Call on the main queue.
  virtual void authorize(const std::string& consumerKey, const std::string& consumerSecret,
                         std::function<void(bool)> completion);

  /// The distance and then the steps series from `forDate`'s day to the end of its month (or today), one
  /// record per day in first-seen order. A failed request completes (none, its error); an undecodable
  /// distance reply (none, none); an undecodable steps reply (the distance records, none).
  virtual void getMothlyActivities(const Date& forDate, ActivitiesCompletion completion);
  /// The calories series over the same range, one record per point; (none, error) on a failed request,
  /// (none, none) on an undecodable reply.
  virtual void getMothlyCalories(const Date& forDate, CaloriesCompletion completion);

  /// Finds (first record with the point's date; two missing dates match) or appends the record of each
  /// point, then sets its `miles` ("%.2f" of the value, none when it is no finite decimal) for distance,
  /// its `steps` (none when no whole number) for steps, nothing for calories. Linear in the points and
  /// the records.
  void createActivities(const std::vector<FitBitActivity>& fitBitData, std::vector<ActivitySDK>& activityData,
                        ActivityType type) const;
  /// One calories record per point, in order, created now.
  std::vector<CaloriesSDK> createCalories(const std::vector<FitBitActivity>& caloriesData) const;
};

}  // namespace talvaren
