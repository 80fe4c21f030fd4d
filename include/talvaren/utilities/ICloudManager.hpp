#pragma once
// Reads a whole file of the user's cloud documents as raw bytes.
//
// Cloud storage is the ubiquity folder that the host gives the platform file manager
// (FileManager::setUbiquityContainer); without one, iCloud reads as not enabled.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "talvaren/platform/Document.hpp"
#include "talvaren/platform/Error.hpp"

namespace talvaren {

class ICloudManager : public platform::Document {
 public:
  /// The document's bytes: empty until a load, replaced by each load.
  Bytes data;

  explicit ICloudManager(std::filesystem::path fileURL);

  /// Whether the platform names a folder for the app's cloud documents.
  static bool iCloudEnabled();
  /// Opens the document at `documentUrl` and closes it again when that succeeded; then calls
  /// `completion` (when given) once with the document's bytes: empty when the open failed (the
  /// failure is printed on the console) or the document is a package rather than a plain file.
  /// Runs on the calling thread and reports before it returns.
  static void downloadFile(const std::filesystem::path& documentUrl,
                           const std::function<void(const Bytes&)>& completion = {});

 protected:
  /// Keeps the bytes of a plain file; a package leaves `data` empty.
  std::optional<Error> load(const platform::DocumentContents& contents, const std::string& typeName) override;
};

}  // namespace talvaren
