#pragma once
// What a host implements to receive imported records and import failures. The retrieval facade holds
// it weakly: the host keeps its object alive. Every operation must be implemented.

#include <vector>

#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/CaloriesSDK.hpp"
#include "talvaren/records/SleepSDK.hpp"
#include "talvaren/retrieval/ErrorRetrieve.hpp"
#include "talvaren/retrieval/RetieveDataType.hpp"
#include "talvaren/retrieval/RetrieveDataService.hpp"

namespace talvaren {

class RetrieveDataDelegate {
 public:
  virtual ~RetrieveDataDelegate() = default;

  virtual void didSleepsData(const std::vector<SleepSDK>& data, RetrieveDataService service) = 0;
  virtual void didActivityData(const std::vector<ActivitySDK>& data, RetrieveDataService service) = 0;
  virtual void didCaloriesData(const std::vector<CaloriesSDK>& data, RetrieveDataService service) = 0;
  virtual void handlerError(const ErrorRetrieve& error, RetieveDataType type) = 0;
};

}  // namespace talvaren
