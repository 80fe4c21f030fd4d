#include "talvaren/platform/Random.hpp"

#include <openssl/rand.h>

#include <array>
#include <limits>
#include <random>

namespace talvaren::platform::random {

namespace {

/// Random words, fetched from the generator a batch at a time.
class Words {
 public:
  std::uint32_t next() {
    if (used_ == batch_.size()) refill();
    return batch_[used_++];
  }

 private:
  void refill() {
    if (RAND_bytes(reinterpret_cast<unsigned char*>(batch_.data()), sizeof batch_) != 1) {
      // The generator could not be seeded: fall back to the operating system's source.
      std::random_device device;
      for (auto& word : batch_) word = static_cast<std::uint32_t>(device());
    }
    used_ = 0;
  }
  std::array<std::uint32_t, 16> batch_{};
  std::size_t used_ = batch_.size();
};

std::uint32_t draw(Words& words, std::uint32_t upperBound) {
  if (upperBound < 2) return 0;
  // Words below `floor` would favour the low values: 2^32 mod upperBound of them are drawn again.
  const std::uint32_t floor = static_cast<std::uint32_t>(-upperBound) % upperBound;
  while (true) {
    const std::uint32_t word = words.next();
    if (word >= floor) return word % upperBound;
  }
}

}  // namespace

std::uint32_t uniform(std::uint32_t upperBound) {
  Words words;
  return draw(words, upperBound);
}

std::string string(std::size_t length, std::string_view alphabet) {
  if (alphabet.empty() || alphabet.size() > std::numeric_limits<std::uint32_t>::max()) return {};
  Words words;
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(alphabet[draw(words, static_cast<std::uint32_t>(alphabet.size()))]);
  }
  return text;
}

}  // namespace talvaren::platform::random
