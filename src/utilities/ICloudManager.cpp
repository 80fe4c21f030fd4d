#include "talvaren/utilities/ICloudManager.hpp"

#include <memory>

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/FileManager.hpp"

namespace talvaren {

ICloudManager::ICloudManager(std::filesystem::path fileURL) : platform::Document(std::move(fileURL)) {}

bool ICloudManager::iCloudEnabled() { return platform::FileManager::defaultManager()->ubiquityContainer().has_value(); }

void ICloudManager::downloadFile(const std::filesystem::path& documentUrl,
                                 const std::function<void(const Bytes&)>& completion) {
  auto document = std::make_shared<ICloudManager>(documentUrl);
  document->open([document, &completion](bool success) {
    if (success) {
      document->close();
    } else {
      std::string line = "ICloudManager: could not open " + document->fileURL().string();
      if (const auto& error = document->openError()) line += ": " + error->localizedDescription();
      console::print(line);
    }
    if (completion) completion(document->data);
  });
}

std::optional<Error> ICloudManager::load(const platform::DocumentContents& contents, const std::string&) {
  const auto* bytes = std::get_if<Bytes>(&contents);
  data = bytes ? *bytes : Bytes();
  return std::nullopt;
}

}  // namespace talvaren
