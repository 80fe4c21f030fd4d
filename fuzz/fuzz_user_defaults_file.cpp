// Feeds arbitrary bytes to the user defaults as the whole file found on disk: through the decoding of
// its text form and through a store reading that file. Whatever decodes must encode to a text that
// decodes to the same values; a store shows exactly the decoded values (none for a damaged file); and
// the store's next save keeps every value it showed besides the one it sets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "StoreHome.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using platform::UserDefaults;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::useTemporaryHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto values = UserDefaults::decodeFile(text);
  // Compared as their text form: NaN is not equal to itself as a value.
  std::string encoded;
  if (values) {
    if (!values->is_object()) std::abort();
    encoded = UserDefaults::encodeFile(*values);
    const auto again = UserDefaults::decodeFile(encoded);
    if (!again || UserDefaults::encodeFile(*again) != encoded) std::abort();
  }

  const auto file = platform::AppHome::userDefaultsPath();
  fuzzing::plant(file, text);
  const auto store = UserDefaults::persistent(file);
  const auto shown = store->dictionaryRepresentation();
  const bool nothing = text.empty() || !values;
  if (UserDefaults::encodeFile(shown) != (nothing ? UserDefaults::encodeFile(nlohmann::json::object()) : encoded)) {
    std::abort();
  }

  testkit::ConsoleCapture console;  // a damaged file is kept aside with a console line
  constexpr const char* marker = "fuzz.marker";
  store->set(7, marker);
  if (store->lastSaveError()) std::abort();
  auto expected = shown;
  expected[marker] = 7;
  if (UserDefaults::encodeFile(UserDefaults::persistent(file)->dictionaryRepresentation()) !=
      UserDefaults::encodeFile(expected)) {
    std::abort();
  }
  return 0;
}
