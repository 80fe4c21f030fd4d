#include "talvaren/platform/Random.hpp"

#include <openssl/rand.h>

#include <limits>
#include <random>

namespace talvaren::platform::random {

namespace {

std::uint32_t randomWord() {
  std::uint32_t word = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&word), sizeof word) != 1) {
    // The generator could not be seeded: fall back to the operating system's source.
    thread_local std::random_device device;
    word = static_cast<std::uint32_t>(device());
  }
  return word;
}

}  // namespace

std::uint32_t uniform(std::uint32_t upperBound) {
  if (upperBound < 2) return 0;
  // Words below `floor` would favour the low values: 2^32 mod upperBound of them are drawn again.
  const std::uint32_t floor = static_cast<std::uint32_t>(-upperBound) % upperBound;
  while (true) {
    const std::uint32_t word = randomWord();
    if (word >= floor) return word % upperBound;
  }
}

std::string string(std::size_t length, std::string_view alphabet) {
  if (alphabet.empty() || alphabet.size() > std::numeric_limits<std::uint32_t>::max()) return {};
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) text.push_back(alphabet[uniform(static_cast<std::uint32_t>(alphabet.size()))]);
  return text;
}

}  // namespace talvaren::platform::random
