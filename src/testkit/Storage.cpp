#include "platform/Seams.hpp"
#include "talvaren/testing/Storage.hpp"

namespace talvaren::testkit {

void setDefaultFileManager(std::shared_ptr<platform::FileManager> manager) {
  platform::detail::setDefaultFileManager(std::move(manager));
}

}  // namespace talvaren::testkit
