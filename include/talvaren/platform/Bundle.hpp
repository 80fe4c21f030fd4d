#pragma once
// A bundle: a resources directory that the host names, with an information dictionary and
// localisation folders "<language>.lproj" holding string tables ("Localizable.strings").
//
// The host sets the main bundle with Bundle::setMain; until then the main bundle is empty (no
// directory, no information dictionary, no localisations). A bundle made at a directory takes its
// information dictionary from "Info.json" in that directory (a JSON object) unless one is given.
//
// A bundle can also hold its resources in memory instead of a directory (Bundle::embedded): the kit's
// own screens and pictures are compiled into the library that way (platform/ui/KitBundle.hpp). Such a
// bundle has no path and no localisations; its resources are read with dataForResource.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvaren::platform {

class Bundle {
 public:
  using StringTable = std::map<std::string, std::string>;
  /// Resources held in memory: file name ("<name>.<type>") to its bytes.
  using EmbeddedResources = std::map<std::string, std::string_view, std::less<>>;

  static std::shared_ptr<Bundle> main();
  /// Makes `bundle` the main bundle; null goes back to the empty one.
  static void setMain(std::shared_ptr<Bundle> bundle);
  /// The bundle of an existing directory, or null when `path` is not a directory.
  static std::shared_ptr<Bundle> atPath(const std::filesystem::path& path);
  /// A bundle of resources held in memory, whose bytes must outlive it (static data compiled into the
  /// program). Its information dictionary is its "Info.json" resource when that is a JSON object.
  static std::shared_ptr<Bundle> embedded(EmbeddedResources resources);

  /// An empty bundle.
  Bundle();
  explicit Bundle(std::filesystem::path resourcesDirectory,
                  std::optional<nlohmann::json> infoDictionary = std::nullopt);
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  /// The resources directory; empty for the empty bundle.
  const std::filesystem::path& bundlePath() const { return path_; }
  /// The information dictionary, absent when the bundle has none.
  const std::optional<nlohmann::json>& infoDictionary() const { return info_; }
  /// The value under `key` of the information dictionary, whatever its kind.
  std::optional<nlohmann::json> objectForInfoDictionaryKey(const std::string& key) const;

  /// The names of the localisation folders ("de" for "de.lproj"), sorted by name.
  std::vector<std::string> localizations() const;
  /// The localisations in the order the host prefers them: as set with setPreferredLocalizations;
  /// otherwise the information dictionary's "CFBundleDevelopmentRegion" when the bundle has that
  /// localisation, else its first localisation other than "Base"; none for a bundle without any.
  std::vector<std::string> preferredLocalizations() const;
  void setPreferredLocalizations(std::vector<std::string> languages);

  /// The path of the resource "<name>.<type>" (just "<name>" for an empty type): first in the
  /// bundle's directory, then in the folders of its preferred localisations and of "Base".
  std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view type) const;
  /// The bytes of the embedded resource "<name>.<type>" of a bundle made with `embedded`; they live as
  /// long as that bundle's resources. None for a bundle of a directory.
  std::optional<std::string_view> embeddedResource(std::string_view name, std::string_view type) const;
  /// The bytes of the resource "<name>.<type>": the embedded one, else the file pathForResource finds;
  /// none when there is no such resource or its file cannot be read.
  std::optional<std::string> dataForResource(std::string_view name, std::string_view type) const;

  /// The text under `key` in the string table `table` ("Localizable" when empty), taken from the
  /// first table file found: in the bundle's directory, then in its preferred localisations'
  /// folders, then in "Base.lproj". A missing key gives `value`, or `key` itself when `value` is
  /// empty. An unreadable table file counts as an empty table; a table name that is not a plain
  /// file name finds no table.
  std::string localizedString(const std::string& key, const std::string& value = "",
                              const std::string& table = "") const;

  /// Reads the text of a string table: entries `"key" = "value";`, a lone `"key";` (value = key),
  /// unquoted keys and values of letters, digits and _$+/:.-, C and C++ comments, escapes \n \t \r
  /// \" \\ \' \a \b \f \v, \UXXXX and \uXXXX (UTF-16 units, surrogate pairs joined) and octal \NNN.
  /// UTF-8 with or without a byte-order mark, or UTF-16 with one. Any fault gives no table; a
  /// key given twice keeps its last value.
  static std::optional<StringTable> parseStrings(std::string_view content);

 private:
  std::shared_ptr<const StringTable> table(const std::filesystem::path& file) const;

  std::filesystem::path path_;
  std::optional<nlohmann::json> info_;
  std::shared_ptr<const EmbeddedResources> embedded_;
  mutable std::mutex mutex_;
  std::optional<std::vector<std::string>> preferred_;
  mutable std::map<std::filesystem::path, std::shared_ptr<const StringTable>> tables_;
};

}  // namespace talvaren::platform
