#include "talvaren/utilities/TalvarenLocalize.hpp"

#include <algorithm>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {
namespace {

/// A name that stays inside the bundle's directory when used as a folder name.
bool isPlainFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

/// The localised text from the folder "<language>.lproj" of `bundle`, or nothing without that folder.
std::optional<std::string> lookUpInFolder(const platform::Bundle& bundle, const std::string& language,
                                          const std::string& key, const std::optional<std::string>& tableName) {
  if (!isPlainFolderName(language)) return std::nullopt;
  const auto path = bundle.pathForResource(language, "lproj");
  if (!path) return std::nullopt;
  const auto folder = platform::Bundle::atPath(*path);
  if (!folder) return std::nullopt;
  return folder->localizedString(key, "", tableName.value_or(""));
}

}  // namespace

std::shared_ptr<TalvarenLocalize> TalvarenLocalize::shared() {
  static const auto& instance = *new auto(std::make_shared<TalvarenLocalize>());
  return instance;
}

std::vector<std::string> TalvarenLocalize::availableLanguages(bool excludeBase) const {
  auto languages = platform::Bundle::main()->localizations();
  if (excludeBase) {
    if (auto base = std::find(languages.begin(), languages.end(), LCLBaseBundle); base != languages.end()) {
      languages.erase(base);
    }
  }
  return languages;
}

std::string TalvarenLocalize::currentLanguage() const {
  if (auto language = platform::UserDefaults::standard()->stringForKey(LCLCurrentLanguageKey)) return *language;
  return defaultLanguage();
}

std::string TalvarenLocalize::defaultLanguage() const {
  const auto preferred = platform::Bundle::main()->preferredLocalizations();
  if (!preferred.empty()) {
    const auto available = availableLanguages();
    if (std::find(available.begin(), available.end(), preferred.front()) != available.end()) {
      return preferred.front();
    }
  }
  return LCLDefaultLanguage;
}

std::string localized(const std::string& key, const std::shared_ptr<platform::Bundle>& bundle) {
  return localized(key, std::nullopt, bundle);
}

std::string localized(const std::string& key, const std::optional<std::string>& tableName,
                      const std::shared_ptr<platform::Bundle>& bundle) {
  const auto chosen = bundle ? bundle : platform::Bundle::main();
  if (!chosen) return key;
  const auto language = TalvarenLocalize::shared()->currentLanguage();
  if (auto text = lookUpInFolder(*chosen, language, key, tableName)) return *text;
  if (auto text = lookUpInFolder(*chosen, LCLBaseBundle, key, tableName)) return *text;
  return key;
}

}  // namespace talvaren
