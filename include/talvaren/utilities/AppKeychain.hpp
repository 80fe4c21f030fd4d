#pragma once
// The kit's one keychain: the items of the service "SarvikDesign.TalvarenIOS", in which the server
// client keeps its credentials.

#include <memory>
#include <string_view>

#include "talvaren/platform/Keychain.hpp"

namespace talvaren {

class AppKeychain {
 public:
  static constexpr std::string_view service = "SarvikDesign.TalvarenIOS";

  /// The holder, made on first use and kept for the process.
  static std::shared_ptr<AppKeychain> sharedInstance();

  /// The keychain of `service`, made once.
  const platform::Keychain& keychain() const { return keychain_; }

 private:
  AppKeychain();

  const platform::Keychain keychain_;
};

}  // namespace talvaren
