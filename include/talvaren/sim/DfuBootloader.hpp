#pragma once
// The target side of the Secure DFU protocol, as a strap's bootloader runs it: the control point's
// requests (Set PRN, Select, Create, Calculate checksum, Execute, Abort), command and data objects with
// their CRC-32, packet receipt notifications, validation of the image against the init packet, then
// activation and a restart (the link drops). A simulated peripheral in update mode hands it the writes
// of the DFU characteristics and tells it when the link ends.
//
// Init packet (the package's .dat): version 01, image type (01 radio stack, 02 bootloader, 04
// application), the image size (4 bytes) and the image's CRC-32 (4 bytes), little-endian; 10 bytes.
//
// Answers leave after the link has carried what was written before them: each packet takes
// `packetAirTime` plus its bytes at `bytesPerSecond`, so packet size and receipt notifications change
// the throughput as on a real link.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"

namespace talvaren::sim {

class DfuBootloader {
 public:
  static constexpr std::uint8_t typeRadioStack = 0x01;
  static constexpr std::uint8_t typeBootloader = 0x02;
  static constexpr std::uint8_t typeApplication = 0x04;

  struct Options {
    std::uint32_t maxCommandObjectSize = 256;
    std::uint32_t maxDataObjectSize = 4096;
    /// Seconds one packet occupies the link besides its bytes (connection events, acknowledgements).
    double packetAirTime = 0.0025;
    double bytesPerSecond = 125000;
    /// A slow target: extra seconds before each control-point answer.
    double responseDelay = 0;
    /// Seconds from the last Execute to the restart.
    double activationTime = 0.05;
  };
  /// What goes wrong, on demand.
  struct Faults {
    /// The image byte at this offset arrives corrupted, `corruptTimes` times (so CRC checks disagree).
    std::optional<std::uint32_t> corruptAt;
    int corruptTimes = 1;
    /// Every init packet is refused at Execute (extended error "init command invalid").
    bool refuseInitPacket = false;
    /// The link drops once this many image bytes have arrived (once).
    std::optional<std::uint32_t> dropLinkAt;
    /// Control-point requests answered before the target falls silent (packets still draw receipts).
    std::optional<int> answeredRequests;
  };
  /// What the bootloader needs of its peripheral.
  struct Port {
    std::function<void(const Bytes&)> notifyControlPoint;
    /// Runs work after `seconds` while the link lasts.
    std::function<void(double, std::function<void()>)> after;
    std::function<double()> now;
    /// Ends the link as the device does when it restarts or loses the link.
    std::function<void()> dropLink;
    std::function<void(const std::string&)> trace;
  };
  /// An image that passed validation and was activated.
  struct Image {
    std::uint8_t type = 0;
    Bytes bytes;
    std::uint32_t crc = 0;
  };

  explicit DfuBootloader(Port port);
  DfuBootloader(Port port, Options options);

  static const platform::BluetoothUUID& service();
  static const platform::BluetoothUUID& controlPoint();
  static const platform::BluetoothUUID& packet();
  /// The init packet of `image` in the format above.
  static Bytes initPacket(std::uint8_t type, const Bytes& image);

  void setOptions(Options options);
  void setFaults(Faults faults);

  /// A central wrote to one of the DFU characteristics.
  void write(const platform::BluetoothUUID& characteristic, const Bytes& bytes);
  /// The link ended; what was received stays (a new link may resume).
  void linkLost();

  /// The last image activated; absent before the first.
  std::optional<Image> activated() const { return activated_; }
  int activations() const { return activations_; }
  /// Image bytes held now (executed or not) and the number of objects created for the image.
  std::size_t received() const { return data_.size(); }
  int dataObjectsCreated() const { return dataObjectsCreated_; }

 private:
  struct InitCommand {
    std::uint8_t type;
    std::uint32_t size;
    std::uint32_t crc;
  };
  void request(const Bytes& bytes);
  void receivePacket(const Bytes& bytes);
  /// Sends `answer` once the link has carried what came before it.
  void answer(Bytes answer);
  void respond(std::uint8_t op, std::uint8_t result, std::optional<std::uint8_t> extended = std::nullopt);
  void respondOffset(std::uint8_t op, const Bytes& held, std::optional<std::uint32_t> maxSize);
  void execute();
  void occupyLink(std::size_t bytes);

  Port port_;
  Options options_;
  Faults faults_;
  std::uint16_t prn_ = 0;
  int packetsSinceReceipt_ = 0;
  std::uint8_t currentType_ = 0;
  Bytes command_;
  std::uint32_t commandSize_ = 0;
  std::optional<InitCommand> init_;  // the accepted init packet
  Bytes acceptedCommand_;
  Bytes data_;
  std::uint32_t executedEnd_ = 0;
  std::optional<std::uint32_t> openObjectEnd_;
  int dataObjectsCreated_ = 0;
  double linkFreeAt_ = 0;
  std::optional<Image> activated_;
  int activations_ = 0;
};

}  // namespace talvaren::sim
