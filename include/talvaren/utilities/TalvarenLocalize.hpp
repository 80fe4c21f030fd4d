#pragma once
// Localisation: the languages of the host's main bundle, the kit's current language (chosen by the
// host through the user defaults, apart from the device's language) and the lookup of localised texts.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvaren {

namespace platform {
class Bundle;
}

/// User-defaults key of the chosen language code (a text such as "en"); the host writes it.
inline constexpr const char* LCLCurrentLanguageKey = "LCLCurrentLanguageKey";
/// The language used when nothing else applies.
inline constexpr const char* LCLDefaultLanguage = "en";
/// The base localisation (folder "Base.lproj").
inline constexpr const char* LCLBaseBundle = "Base";

/// No stored state; there is no setter: the language is changed by writing the user-defaults value
/// under LCLCurrentLanguageKey. The operations are virtual so that a host may override them in a
/// subclass; currentLanguage() asks defaultLanguage(), and defaultLanguage() asks
/// availableLanguages(), through the object it was called on, so an override is used. The kit itself
/// (the strap-name tests, the text lookup) asks the base object:
///
///   auto language = TalvarenLocalize::shared()->currentLanguage();
class TalvarenLocalize {
 public:
  TalvarenLocalize() = default;
  virtual ~TalvarenLocalize() = default;

  /// The base object, shared for the process.
  static std::shared_ptr<TalvarenLocalize> shared();

  /// The localisation names of the main bundle, in the bundle's order; with `excludeBase` the first
  /// "Base" is left out.
  virtual std::vector<std::string> availableLanguages(bool excludeBase = false) const;
  /// The text stored in the standard user defaults under LCLCurrentLanguageKey when there is one and
  /// it is a text; otherwise defaultLanguage().
  virtual std::string currentLanguage() const;
  /// The main bundle's first preferred localisation when availableLanguages() holds it; else "en".
  virtual std::string defaultLanguage() const;
};

/// The text for `key` in the folder ("<language>.lproj") of the base object's current language in
/// `bundle` (the main bundle when null), using the default string table; see the three-argument form.
std::string localized(const std::string& key, const std::shared_ptr<platform::Bundle>& bundle = nullptr);

/// The text for `key` in table `tableName` (the default table when absent) of the current language's
/// folder of `bundle` (the main bundle when null). Without that folder the "Base.lproj" folder is
/// used, and without either the key itself is returned. A folder that was found but lacks the key
/// gives the key itself; "Base" is not tried then. A current language that is not a plain folder
/// name (empty, "." or "..", or holding "/") counts as having no folder.
std::string localized(const std::string& key, const std::optional<std::string>& tableName,
                      const std::shared_ptr<platform::Bundle>& bundle);

}  // namespace talvaren
