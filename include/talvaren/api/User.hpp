#pragma once
// The logged-in user's account as the server's auth/me/ resource knows it.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/api/UserProfile.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/records/PreferencesData.hpp"

namespace talvaren {

/// JSON: "pk", "username", "first_name", "last_name", "email", "profile" (a nested profile object) and
/// "preferences" (an object of preference objects by name), read and written alike; the password is
/// never read or written. A user is a value: copying it copies its profile and preferences.
class User {
 public:
  using Preferences = std::map<std::string, PreferencesData, std::less<>>;

  static constexpr std::string_view UserKey = "username";
  static constexpr std::string_view EmailKey = "email";
  static constexpr std::string_view FirstNameKey = "first_name";
  static constexpr std::string_view LastNameKey = "last_name";
  static constexpr std::string_view ProfileKey = "profile";
  static constexpr std::string_view PreferencesKey = "preferences";
  static constexpr std::string_view PkKey = "pk";
  /// The name, without extension, of the file that keeps the logged-in user.
  static constexpr std::string_view userFilename = "user";

  std::optional<std::int64_t> pk;
  std::optional<std::string> userName;
  std::optional<std::string> firstName;
  std::optional<std::string> lastName;
  std::optional<std::string> email;
  /// Kept in the object only.
  std::optional<std::string> password;
  std::optional<UserProfile> profile;
  /// The user's preferences by name; an object in which one member is no preference reads as absent.
  std::optional<Preferences> preferences;

  /// Every value absent.
  User() = default;
  /// Every value absent but the two names; the photo URL is taken and not kept.
  User(std::string firstName, std::string lastName, const std::string& photoURL);

  /// No user unless "first_name" holds a text. A user made here also sets `emailStore` and `pkStore`
  /// to its e-mail and pk, absent ones included.
  static std::optional<User> fromJSON(const JSON& json);
  /// The present values; an all-absent user writes an empty object.
  std::optional<JSON> toJSON() const;

  /// The e-mail of the last user made from JSON, by whichever code made it; for the host.
  static std::optional<std::string> emailStore();
  static void setEmailStore(std::optional<std::string> email);
  /// The pk of the last user made from JSON; for the host.
  static std::optional<std::int64_t> pkStore();
  static void setPkStore(std::optional<std::int64_t> pk);
};

}  // namespace talvaren
