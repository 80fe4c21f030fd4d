#pragma once
// Keeps the logged-in user on the device, in the file user.json of the folder Data in the Documents
// directory, and reads and writes other JSON files of that folder.

#include <memory>
#include <optional>
#include <string_view>

#include "talvaren/api/User.hpp"
#include "talvaren/platform/Json.hpp"

namespace talvaren {

class PersistencyManager {
 public:
  static constexpr std::string_view EntriesDataFile = "entries";
  static constexpr std::string_view RegistrationDataFile = "registration";
  static constexpr std::string_view UserDataFile = "user";
  static constexpr std::string_view DataDirectory = "Data";

  /// The manager, made on first use and kept for the process.
  static std::shared_ptr<PersistencyManager> sharedInstance();

  /// A user the host may keep here; nothing in the kit sets or reads it.
  std::optional<User> currentUser;

  /// The user read from user.json, or nothing (the reason is printed on the console). Leaves
  /// `currentUser` alone.
  std::optional<User> getUser() const;
  /// Writes the user's JSON form to user.json; false when it has none or the save failed. Leaves
  /// `currentUser` alone.
  bool saveUser(const User& user) const;

  /// The object in Data/<name>.json, or nothing (the reason is printed on the console).
  static std::optional<JSON> readFromJSON(std::string_view name);
  /// Writes `jsonData` to Data/<name>.json; false, with the reason printed, when it was not saved.
  static bool saveDataToJSON(std::string_view name, const JSON& jsonData);

 private:
  PersistencyManager() = default;
};

}  // namespace talvaren
