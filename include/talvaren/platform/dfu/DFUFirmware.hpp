#pragma once
// A firmware package for the update engine: a zip archive holding `manifest.json` and the files it names.
//
//   {"manifest": {"application": {"bin_file": "app.bin", "dat_file": "app.dat"}}}
//
// The manifest may name the parts "softdevice_bootloader", "softdevice", "bootloader" and "application";
// they are sent in that order. Each part has an init packet (.dat, the image's size and hash as the
// target expects them) and an image (.bin). The entries a package names are read when it is made, so a
// file that changes later does not change the firmware; the file itself is never read whole. A package
// holds at most what one update can carry: the file at most 2 MiB, its images together at most 1 MiB
// (a target's flash), everything it names at most 2 MiB once inflated.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::dfu {

class DFUFirmware {
 public:
  struct Part {
    /// The manifest key: "softdevice_bootloader", "softdevice", "bootloader" or "application".
    std::string kind;
    Bytes initPacket;
    Bytes image;
  };

  /// The firmware in the zip file at `urlToZipFile`: a "file:" URL text (percent escapes allowed) or an
  /// absolute path. None when the text names no file, the file is no zip or larger than an update can
  /// carry (judged by its size before it is read), the manifest is missing or damaged, or a file it names
  /// is missing, empty, too large or damaged (any read error, a failed CRC included).
  static std::shared_ptr<DFUFirmware> make(const std::string& urlToZipFile);
  /// The firmware in a zip archive held in memory; none as above.
  static std::shared_ptr<DFUFirmware> fromZipData(const Bytes& zip);
  /// Why the last `make`/`fromZipData` on this thread gave none (empty after a success).
  static std::string lastFailure();

  const std::vector<Part>& parts() const { return parts_; }
  /// Image bytes of every part together.
  std::size_t size() const;

  explicit DFUFirmware(std::vector<Part> parts) : parts_(std::move(parts)) {}

 private:
  std::vector<Part> parts_;
};

/// Writes a package of `parts` (in the order given) as a zip file at `path`; false when it cannot.
/// Parts of kinds other than the four of the manifest are refused.
bool writeFirmwarePackage(const std::string& path, const std::vector<DFUFirmware::Part>& parts);

}  // namespace talvaren::platform::dfu
