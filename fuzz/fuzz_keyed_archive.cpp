// Feeds arbitrary bytes to the keyed archive reader. Whatever it accepts must write back to exactly
// the same bytes (the format is canonical) and answer every kind of read without failing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "talvaren/platform/KeyedArchive.hpp"

using talvaren::platform::ArchiveValue;
using talvaren::platform::KeyedArchiver;
using talvaren::platform::KeyedUnarchiver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  auto root = KeyedUnarchiver::unarchiveObject(input);
  if (!root) return 0;

  auto again = KeyedArchiver::archivedData(*root);
  if (!again || again->size() != size || !std::equal(again->begin(), again->end(), data)) std::abort();

  if (auto coder = KeyedUnarchiver::fromData(input)) {
    for (const std::string& key : coder->object().keys()) {
      (void)coder->decodeBool(key);
      (void)coder->decodeInteger(key);
      (void)coder->decodeDouble(key);
      (void)coder->decodeString(key);
      (void)coder->decodeData(key);
      (void)coder->decodeDate(key);
      (void)coder->decodeList(key);
      (void)coder->decodeArchive(key);
      if (coder->decodeObject(key).has_value() != (coder->containsValue(key) && !coder->object().find(key)->isNull())) {
        std::abort();
      }
    }
  }
  if (auto json = root->toJSON()) {
    (void)ArchiveValue::fromJSON(*json);
  }
  return 0;
}
