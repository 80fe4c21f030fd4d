#include "talvaren/utilities/JSONHelper.hpp"

#include <cmath>
#include <exception>
#include <vector>

#include "talvaren/platform/Console.hpp"

namespace talvaren {
namespace {

bool safeFileName(std::string_view name) {
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool safeSubDirectory(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return false;
  for (const auto& part : std::filesystem::path(path)) {
    if (part == "..") return false;
  }
  return true;
}

// Why `value` has no JSON text, or nothing when it has one. Walks the value without recursion; a value
// nested deeper than the kit's JSON cap has none, since writing it (and reading it back) would recurse that deep.
std::optional<std::string> unserialisable(const JSON& value) {
  if (!Json::nestedWithin(value)) return "the nesting is too deep";
  std::vector<const JSON*> pending{&value};
  while (!pending.empty()) {
    const JSON& next = *pending.back();
    pending.pop_back();
    switch (next.type()) {
      case JSON::value_t::number_float:
        if (!std::isfinite(next.get_ref<const JSON::number_float_t&>())) return "a number is not finite";
        break;
      case JSON::value_t::array:
      case JSON::value_t::object:
        for (const auto& element : next) pending.push_back(&element);
        break;
      case JSON::value_t::binary:
      case JSON::value_t::discarded:
        return "a value has no JSON form";
      default:
        break;
    }
  }
  return std::nullopt;
}

// The pretty-printed JSON text of an object or a list; nothing, with the reason, when it has none.
std::optional<std::string> pretty(const JSON& object, std::string& reason) {
  if (!object.is_object() && !object.is_array()) {
    reason = "the top level is neither object nor list";
    return std::nullopt;
  }
  if (auto why = unserialisable(object)) {
    reason = *why;
    return std::nullopt;
  }
  try {
    return object.dump(2, ' ', false, JSON::error_handler_t::strict);
  } catch (const std::exception&) {
    reason = "a text is not UTF-8";
    return std::nullopt;
  }
}

}  // namespace

std::string_view JSONHelper::rawValue(FileExtension extension) {
  switch (extension) {
    case FileExtension::JSON: return ".json";
  }
  return "";
}

std::string_view JSONHelper::name(Errors error) {
  switch (error) {
    case Errors::jsonNotSerialized: return "jsonNotSerialized";
    case Errors::fileNotSaved: return "fileNotSaved";
    case Errors::fileNotRead: return "fileNotRead";
    case Errors::fileNotFound: return "fileNotFound";
  }
  return "";
}

JSONHelper::JSONHelper(std::string fileName, FileExtension fileExtension, std::string subDirectory,
                       SearchPathDirectory directory)
    : directory_(directory), fileManager_(platform::FileManager::defaultManager()) {
  usable_ = safeFileName(fileName) && safeSubDirectory(subDirectory);
  auto documents = fileManager_->documentsDirectory();
  if (const auto* path = documents.value()) {
    directoryPath_ = path->string();
  } else {
    usable_ = false;
  }
  fileName_ = std::move(fileName);
  fileName_ += rawValue(fileExtension);
  subDirectory_ = "/" + subDirectory;
  filePath_ = directoryPath_ + subDirectory_;
  fullPath_ = filePath_ + "/" + fileName_;
  createDirectory();
}

bool JSONHelper::fileExists() const { return usable_ && fileManager_->fileExists(fullPath_); }

bool JSONHelper::directoryExists() const { return usable_ && fileManager_->fileExists(filePath_); }

void JSONHelper::createDirectory() const {
  if (!usable_ || directoryExists()) return;
  // The platform's own directories always exist on the device; here the home may be new.
  if (!fileManager_->fileExists(directoryPath_)) (void)fileManager_->createDirectory(directoryPath_, true);
  (void)fileManager_->createDirectory(filePath_, false);
}

std::optional<JSONHelper::Errors> JSONHelper::saveFile(const JSON& dataForJson) const {
  console::print(filePath_);
  auto failed = [](Errors error) {
    console::print(name(error));
    return Errors::fileNotSaved;
  };
  std::string reason;
  auto text = pretty(dataForJson, reason);
  if (!text) {
    console::print("Error writing data: " + reason);
    return failed(Errors::jsonNotSerialized);
  }
  if (!usable_) return failed(Errors::fileNotSaved);
  if (fileManager_->writeFile(fullPath_, Bytes(text->begin(), text->end()))) return failed(Errors::fileNotSaved);
  return std::nullopt;
}

std::variant<JSON, JSONHelper::Errors> JSONHelper::getJSONData() const {
  if (!fileExists()) return Errors::fileNotFound;
  auto content = fileManager_->contentsOfFile(fullPath_);
  const auto* bytes = content.value();
  if (bytes == nullptr) return Errors::fileNotRead;
  auto json = Json::parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  if (!json || !json->is_object()) return Errors::fileNotRead;
  return std::move(*json);
}

}  // namespace talvaren
