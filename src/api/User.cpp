#include "talvaren/api/User.hpp"

#include <mutex>

namespace talvaren {
namespace {

// Users are made from JSON on whatever thread reads the server's reply or the stored file.
struct Stores {
  std::mutex mutex;
  std::optional<std::string> email;
  std::optional<std::int64_t> pk;
};

Stores& stores() {
  static auto& shared = *new Stores();
  return shared;
}

}  // namespace

User::User(std::string firstName, std::string lastName, const std::string& /*photoURL*/)
    : firstName(std::move(firstName)), lastName(std::move(lastName)) {}

std::optional<User> User::fromJSON(const JSON& json) {
  auto firstName = Json::read<std::string>(json, FirstNameKey);
  if (!firstName) return std::nullopt;
  User user;
  Json::read(json, PkKey, user.pk);
  Json::read(json, UserKey, user.userName);
  user.firstName = std::move(firstName);
  Json::read(json, EmailKey, user.email);
  Json::read(json, LastNameKey, user.lastName);
  user.profile = Json::readRecord<UserProfile>(json, ProfileKey);
  user.preferences = Json::readRecordDictionary<PreferencesData>(json, PreferencesKey);
  {
    std::lock_guard lock(stores().mutex);
    stores().email = user.email;
    stores().pk = user.pk;
  }
  return user;
}

std::optional<JSON> User::toJSON() const {
  return Json::jsonify(Json::write(PkKey, pk), Json::write(UserKey, userName), Json::write(EmailKey, email),
                       Json::write(FirstNameKey, firstName), Json::write(LastNameKey, lastName),
                       Json::writeRecord(ProfileKey, profile),
                       Json::writeRecordDictionary(PreferencesKey, preferences));
}

std::optional<std::string> User::emailStore() {
  std::lock_guard lock(stores().mutex);
  return stores().email;
}

void User::setEmailStore(std::optional<std::string> email) {
  std::lock_guard lock(stores().mutex);
  stores().email = std::move(email);
}

std::optional<std::int64_t> User::pkStore() {
  std::lock_guard lock(stores().mutex);
  return stores().pk;
}

void User::setPkStore(std::optional<std::int64_t> pk) {
  std::lock_guard lock(stores().mutex);
  stores().pk = pk;
}

}  // namespace talvaren
