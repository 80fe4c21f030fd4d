#include "talvaren/utilities/AppKeychain.hpp"

#include <string>

namespace talvaren {

AppKeychain::AppKeychain() : keychain_(std::string(service)) {}

std::shared_ptr<AppKeychain> AppKeychain::sharedInstance() {
  static const std::shared_ptr<AppKeychain> shared(new AppKeychain());
  return shared;
}

}  // namespace talvaren
