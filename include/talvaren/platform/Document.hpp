#pragma once
// A document at a file URL: opened by reading its whole contents and handing them to `load`, then
// closed. A plain file's contents are its bytes; a folder (a package) is handed over as the names of
// its entries. Opening and closing run on the calling thread and report before they return.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

/// The contents of a package: a folder that stands for one document.
struct DocumentPackage {
  std::vector<std::string> entries;
};

/// What a document reads: a plain file's bytes, or a package.
using DocumentContents = std::variant<Bytes, DocumentPackage>;

class Document {
 public:
  explicit Document(std::filesystem::path fileURL);
  virtual ~Document() = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  const std::filesystem::path& fileURL() const { return fileURL_; }
  /// The document's type: its file extension without the dot ("" when it has none).
  std::string fileType() const;
  bool isOpen() const { return open_; }

  /// Reads the contents and passes them to `load`; then calls `completionHandler` (when given) with
  /// whether both succeeded. The error of a failed open is kept in `openError`.
  void open(const std::function<void(bool)>& completionHandler);
  /// Closes an open document; calls `completionHandler` (when given) with true.
  void close(const std::function<void(bool)>& completionHandler = {});
  /// Why the last open failed.
  const std::optional<Error>& openError() const { return openError_; }

 protected:
  /// Takes the contents read by `open`; an error makes the open fail.
  virtual std::optional<Error> load(const DocumentContents& contents, const std::string& typeName) = 0;

 private:
  std::filesystem::path fileURL_;
  bool open_ = false;
  std::optional<Error> openError_;
};

}  // namespace talvaren::platform
