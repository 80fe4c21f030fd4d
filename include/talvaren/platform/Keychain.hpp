#pragma once
// A keychain: the items of one service, each a text or bytes under a key.
//
// The items of a service live in one file of the application home
// (AppHome::keychainPath(service)), mode 0600, replaced atomically on every change, and read afresh
// on every call, so two holders of one service see each other's items and two services never
// meet. The file is found in the application home current at the time of each call. A missing
// item is no error. Decoded items are kept in memory by the identity of the file they came from
// (device, inode, size, modification and change times), so a read of an unchanged file only looks at
// it; a file changed too recently for its times to tell another change in the same tick is read again.
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

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

class Keychain {
 public:
  /// The items of a service as one reading of its file. Several items that must agree with each other
  /// (a request's token and API key) are read from one snapshot; it does not change afterwards.
  class Snapshot {
   public:
    std::optional<std::string> getString(const std::string& key) const;
    std::optional<Bytes> getData(const std::string& key) const;
    /// The keys of all items, sorted.
    std::vector<std::string> allKeys() const;
    bool contains(const std::string& key) const;

   private:
    friend class Keychain;
    using Items = std::map<std::string, std::string>;
    explicit Snapshot(std::shared_ptr<const Items> items) : items_(std::move(items)) {}
    std::shared_ptr<const Items> items_;
  };

  explicit Keychain(std::string service);
  // Copied, never moved from: a keychain always has its service.
  Keychain(const Keychain&) = default;
  Keychain& operator=(const Keychain&) = default;

  const std::string& service() const { return *service_; }

  /// The items as the file holds them now: as the last change completed by any holder or process left them.
  Snapshot snapshot() const;

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

  std::shared_ptr<const std::string> service_;  // shared by copies: a copy is made for every request
};

}  // namespace talvaren::platform
