#pragma once
// One JSON object (or list) kept in one file under a directory of the application's home.
//
//   JSONHelper helper("user", JSONHelper::FileExtension::JSON, "Data");   // creates Documents/Data
//   if (auto error = helper.saveFile(object)) ...                         // Documents/Data/user.json
//   auto read = helper.getJSONData();                                      // the object, or an error
//
// Every file access goes through the platform's file manager; saving replaces the file atomically,
// so a failed or interrupted save leaves the previous file as it was.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "talvaren/platform/FileManager.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren {

class JSONHelper {
 public:
  /// The extension appended to a file name.
  enum class FileExtension { JSON };
  static std::string_view rawValue(FileExtension extension);

  /// The platform directories a helper can work under.
  enum class SearchPathDirectory { documentDirectory };

  enum class Errors { jsonNotSerialized, fileNotSaved, fileNotRead, fileNotFound };
  /// The error's case name ("fileNotFound"), as the console shows it.
  static std::string_view name(Errors error);

  /// Fixes the paths below and creates the subdirectory when nothing is there yet. A file name with
  /// "/" or a NUL, or a subdirectory with a ".." part or a NUL, makes a helper that never finds a file
  /// and never saves one.
  JSONHelper(std::string fileName, FileExtension fileExtension, std::string subDirectory = "",
             SearchPathDirectory directory = SearchPathDirectory::documentDirectory);

  SearchPathDirectory directory() const { return directory_; }
  /// The directory the platform names (empty when it names none).
  const std::string& directoryPath() const { return directoryPath_; }
  /// The given name and the extension: "user.json".
  const std::string& fileName() const { return fileName_; }
  /// directoryPath and subDirectory.
  const std::string& filePath() const { return filePath_; }
  /// filePath, "/", fileName.
  const std::string& fullPath() const { return fullPath_; }
  /// "/" and the given subdirectory.
  const std::string& subDirectory() const { return subDirectory_; }

  /// Whether anything exists at fullPath.
  bool fileExists() const;
  /// Whether anything, a file included, exists at filePath.
  bool directoryExists() const;

  /// Writes `dataForJson` (an object or a list) as pretty-printed JSON to fullPath, replacing the
  /// file. Prints filePath first. Any failure is `fileNotSaved`, printed on the console: a value that
  /// cannot be serialised (a top level that is neither object nor list, a number that is not finite,
  /// a text that is not UTF-8) first prints "Error writing data: " and the reason and
  /// "jsonNotSerialized".
  std::optional<Errors> saveFile(const JSON& dataForJson) const;

  /// The file's top-level object: `fileNotFound` when nothing is at fullPath, `fileNotRead` when it
  /// cannot be read, is no JSON, or its top level is no object. Prints nothing.
  std::variant<JSON, Errors> getJSONData() const;

 private:
  void createDirectory() const;

  SearchPathDirectory directory_;
  std::string directoryPath_;
  std::shared_ptr<platform::FileManager> fileManager_;
  std::string fileName_;
  std::string filePath_;
  std::string fullPath_;
  std::string subDirectory_;
  bool usable_ = true;
};

}  // namespace talvaren
