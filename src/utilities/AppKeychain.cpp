#include "talvaren/utilities/AppKeychain.hpp"

#include <string>

namespace talvaren {

AppKeychain::AppKeychain() : keychain_(std::string(service)) {}

std::shared_ptr<AppKeychain> AppKeychain::sharedInstance() {
  static const auto& shared = *new std::shared_ptr<AppKeychain>(new AppKeychain());
  return shared;
}

}  // namespace talvaren
