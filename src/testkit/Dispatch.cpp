#include "platform/Seams.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

void setDispatchExecutor(std::shared_ptr<platform::DispatchExecutor> executor) {
  // The replaced executor is released here, outside the dispatch lock.
  platform::detail::exchangeDispatchExecutor(std::move(executor));
}

}  // namespace talvaren::testkit
