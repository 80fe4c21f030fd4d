#include "talvaren/api/PersistencyManager.hpp"

#include <string>
#include <variant>

#include "talvaren/platform/Console.hpp"
#include "talvaren/utilities/JSONHelper.hpp"

namespace talvaren {
namespace {

JSONHelper dataFile(std::string_view name) {
  return JSONHelper(std::string(name), JSONHelper::FileExtension::JSON, std::string(PersistencyManager::DataDirectory));
}

}  // namespace

std::shared_ptr<PersistencyManager> PersistencyManager::sharedInstance() {
  static const auto& shared = *new std::shared_ptr<PersistencyManager>(new PersistencyManager());
  return shared;
}

std::optional<User> PersistencyManager::getUser() const {
  auto json = readFromJSON(UserDataFile);
  if (!json) return std::nullopt;
  return User::fromJSON(*json);
}

bool PersistencyManager::saveUser(const User& user) const {
  auto json = user.toJSON();
  if (!json) return false;
  return saveDataToJSON(UserDataFile, *json);
}

std::optional<JSON> PersistencyManager::readFromJSON(std::string_view name) {
  auto read = dataFile(name).getJSONData();
  if (auto* error = std::get_if<JSONHelper::Errors>(&read)) {
    console::print(JSONHelper::name(*error));
    return std::nullopt;
  }
  return std::move(std::get<JSON>(read));
}

bool PersistencyManager::saveDataToJSON(std::string_view name, const JSON& jsonData) {
  if (auto error = dataFile(name).saveFile(jsonData)) {
    console::print(JSONHelper::name(*error));
    return false;
  }
  return true;
}

}  // namespace talvaren
