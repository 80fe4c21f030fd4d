// Feeds arbitrary bytes to the keychain as the whole file of its service found on disk. Every key it
// lists reads back; the next change keeps every item that was readable, with its bytes, besides the one
// it sets; and a file that was not wholly readable is first kept aside, byte for byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "StoreHome.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Keychain.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using platform::AppHome;
using platform::Keychain;

namespace {

constexpr const char* Service = "SarvikDesign.TalvarenIOS";

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The newest copy of a damaged file of the service.
std::filesystem::path newestCopy() {
  std::vector<std::filesystem::path> copies;
  for (const auto& entry : std::filesystem::directory_iterator(AppHome::keychainsPath())) {
    if (entry.path().filename().string().starts_with(std::string(Service) + ".damaged-")) {
      copies.push_back(entry.path());
    }
  }
  std::sort(copies.begin(), copies.end());
  return copies.empty() ? std::filesystem::path() : copies.back();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::useTemporaryHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto file = AppHome::keychainPath(Service);
  fuzzing::plant(file, text);
  const Keychain keychain(Service);

  std::map<std::string, Bytes> readable;
  const auto keys = keychain.allKeys();
  if (!std::is_sorted(keys.begin(), keys.end())) std::abort();
  for (const auto& key : keys) {
    auto bytes = keychain.getData(key);
    if (!bytes || !keychain.contains(key)) std::abort();
    auto string = keychain.getString(key);
    if (string && Bytes(string->begin(), string->end()) != *bytes) std::abort();
    readable[key] = std::move(*bytes);
  }

  testkit::ConsoleCapture console;
  constexpr const char* marker = "fuzz.marker";
  const Bytes value{0x00, 0xff, 0x7b};
  if (keychain.set(value, marker)) std::abort();
  readable[marker] = value;
  const auto after = keychain.allKeys();
  if (after.size() != readable.size()) std::abort();
  for (const auto& [key, bytes] : readable) {
    if (keychain.getData(key) != bytes) std::abort();
  }
  // One line says where the file went; the copy is what was there.
  const auto lines = console.lines();
  if (lines.size() > 1) std::abort();
  if (lines.size() == 1) {
    const auto copy = newestCopy();
    if (copy.empty() || lines[0].find(copy.string()) == std::string::npos || contents(copy) != text) std::abort();
  }
  return 0;
}
