// Reads a firmware package from the input: either the input as a zip archive, or a valid package of
// the input's bytes with one byte of the archive changed, from memory and from a file alike. A package
// that reads must hold parts in sending order, each with an init packet and an image.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "talvaren/platform/dfu/DFUFirmware.hpp"

using namespace talvaren;
using talvaren::platform::dfu::DFUFirmware;

namespace {
void check(const std::shared_ptr<DFUFirmware>& firmware) {
  if (!firmware) return;
  if (firmware->parts().empty()) std::abort();
  std::size_t total = 0;
  for (const auto& part : firmware->parts()) {
    if (part.image.empty() || part.initPacket.empty()) std::abort();
    total += part.image.size();
  }
  if (total != firmware->size()) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    check(DFUFirmware::fromZipData(Bytes(data + 1, data + size)));
    return 0;
  }
  // A real package of the input, damaged at one place.
  if (size < 4) return 0;
  // One scratch file per process, removed at exit.
  static const struct Scratch {
    std::string path =
        (std::filesystem::temp_directory_path() / ("fuzz_dfu_package_" + std::to_string(::getpid()) + ".zip")).string();
    ~Scratch() { std::filesystem::remove(path); }
  } scratch;
  const std::string& path = scratch.path;
  Bytes image(data + 3, data + size);
  if (!platform::dfu::writeFirmwarePackage(path, {{"application", {1, 2, 3}, image}})) std::abort();
  std::ifstream file(path, std::ios::binary);
  Bytes zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::size_t at = (static_cast<std::size_t>(data[1]) << 8 | data[2]) % zip.size();
  zip[at] = static_cast<std::uint8_t>(zip[at] ^ data[1] ^ 0x5A);
  const auto fromData = DFUFirmware::fromZipData(zip);
  check(fromData);
  // The file reader, through its descriptor, comes to the same firmware.
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
  const auto fromFile = DFUFirmware::make(path);
  check(fromFile);
  if (bool(fromFile) != bool(fromData)) std::abort();
  if (fromFile) {
    if (fromFile->parts().size() != fromData->parts().size()) std::abort();
    for (std::size_t i = 0; i < fromFile->parts().size(); ++i) {
      const auto& a = fromFile->parts()[i];
      const auto& b = fromData->parts()[i];
      if (a.kind != b.kind || a.image != b.image || a.initPacket != b.initPacket) std::abort();
    }
  }
  return 0;
}
