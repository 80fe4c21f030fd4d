#include "talvaren/testing/Storage.hpp"

#include "platform/Seams.hpp"

namespace talvaren::testkit {

void setDefaultFileManager(std::shared_ptr<platform::FileManager> manager) {
  platform::detail::setDefaultFileManager(std::move(manager));
}

}  // namespace talvaren::testkit
