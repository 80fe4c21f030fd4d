#include "talvaren/platform/Document.hpp"

#include "talvaren/platform/FileManager.hpp"

namespace talvaren::platform {

Document::Document(std::filesystem::path fileURL) : fileURL_(std::move(fileURL)) {}

std::string Document::fileType() const {
  auto extension = fileURL_.extension().string();
  return extension.empty() ? extension : extension.substr(1);
}

void Document::open(const std::function<void(bool)>& completionHandler) {
  openError_.reset();
  auto manager = FileManager::defaultManager();
  bool isDirectory = false;
  std::optional<DocumentContents> contents;
  if (manager->fileExists(fileURL_, isDirectory) && isDirectory) {
    auto entries = manager->contentsOfDirectory(fileURL_);
    if (entries) {
      contents = DocumentPackage{std::move(*entries.value())};
    } else {
      openError_ = *entries.error();
    }
  } else {
    auto bytes = manager->contentsOfFile(fileURL_);
    if (bytes) {
      contents = std::move(*bytes.value());
    } else {
      openError_ = *bytes.error();
    }
  }
  if (contents) openError_ = load(*contents, fileType());
  open_ = !openError_;
  if (completionHandler) completionHandler(open_);
}

void Document::close(const std::function<void(bool)>& completionHandler) {
  open_ = false;
  if (completionHandler) completionHandler(true);
}

}  // namespace talvaren::platform
