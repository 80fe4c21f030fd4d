#include "talvaren/api/BundleExtensions.hpp"

#include "talvaren/platform/Json.hpp"

namespace talvaren {

namespace {

std::optional<std::string> infoText(const platform::Bundle& bundle, const std::string& key) {
  auto value = bundle.objectForInfoDictionaryKey(key);
  return value ? platform::Json::asText(*value) : std::nullopt;
}

}  // namespace

std::optional<std::string> releaseVersionNumber(const platform::Bundle& bundle) {
  return infoText(bundle, "CFBundleShortVersionString");
}

std::optional<std::string> buildVersionNumber(const platform::Bundle& bundle) {
  return infoText(bundle, "CFBundleVersion");
}

std::string versionNumber(const platform::Bundle& bundle) {
  return releaseVersionNumber(bundle).value_or("0.0.0") + " (" + buildVersionNumber(bundle).value_or("0") + ")";
}

}  // namespace talvaren
