#pragma once
// A keychain: the items of one service, each a text or bytes under a key.
//
// The items of a service live in one file of the application home
// (AppHome::keychainPath(service)), mode 0600, replaced atomically on every change, and read afresh
// on every call, so two holders of one service see each other's items and two services never
// meet. The file is found in the application home current at the time of each call. A missing
// item is no error.
//
// Nothing is ever lost to a damaged file. An item that does not decode reads as absent and leaves the
// others readable; a file that does not decode at all (or is another service's) reads as a keychain
// without items. Before the next change replaces such a file, it is kept aside beside itself
// ("<service>.keychain" becomes "<service>.damaged-<UTC time>.keychain"; the newest three are kept) with
// one console line naming the copy. A file that cannot be read at all (no permission, a folder or a
// pipe in its place) reads as no items and is never replaced: changes fail with the read's error.
// Changes also remove what writers killed half-way left in the keychains folder.
//
// Texts are kept as their UTF-8 bytes, as the platform's keychain keeps them: getData of a text
// item gives its bytes, and getString of a bytes item gives the text when the bytes are UTF-8.
// Keys and the service name are texts: a change under a key or of a service that is not UTF-8 is
// refused with the error "NSOSStatusErrorDomain" -50 (a parameter not valid).

#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class Keychain {
 public:
  explicit Keychain(std::string service);

  const std::string& service() const { return service_; }

  std::optional<std::string> getString(const std::string& key) const;
  std::optional<Bytes> getData(const std::string& key) const;
  /// Stores a text under `key`, replacing the item that was there.
  std::optional<Error> set(const std::string& value, const std::string& key) const;
  std::optional<Error> set(const char* value, const std::string& key) const { return set(std::string(value), key); }
  /// Stores bytes under `key`, replacing the item that was there.
  std::optional<Error> set(const Bytes& value, const std::string& key) const;
  /// Removes the item under `key`; removing a missing item is no error.
  std::optional<Error> remove(const std::string& key) const;
  std::optional<Error> removeAll() const;
  /// The keys of all items, sorted.
  std::vector<std::string> allKeys() const;
  bool contains(const std::string& key) const;

 private:
  std::optional<Error> store(const std::string& key, const std::optional<std::string>& bytes) const;

  std::string service_;
};

}  // namespace talvaren::platform
