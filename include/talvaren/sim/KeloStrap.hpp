#pragma once
// The Kelo strap, from the strap's side.
//
// GATT: the standard heart-rate, battery and device-information services, plus its own service FD00 with
// the command channel (FD09 notify, FD0A write) and the history channel (FD19 notify, FD1A write), and
// the user-data service 181C. Live measurements use its own layout: flags, rate, a signal byte, one
// spare byte, then RR intervals.
//
// Command channel: every frame B2 <length> <mode> [parameters] <sum> is checked (length and sum) and
// answered on FD09 with B2 <length> <mode> <state or data> <sum>: thresholds (0C) with the zone state
// "success" (10), test mode (0D) with 01 when set, clock request (0F) with the four clock bytes. The
// update-mode command A2 04 01 A7 makes it drop the link and advertise again in update mode, where its
// bootloader (DfuBootloader) serves the DFU service 0xFE59. Once the bootloader has activated an
// application image and restarted, the strap comes back in its normal mode under its own name, running
// that image: its software revision (2A28) is the one the image carries (see firmwareImage). After any
// other part it stays in update mode for the next one.
//
// History channel, transport frames FF <identifier> <length> <packet number, 2 bytes> ... <sum>:
// - a clock setting (command 01) sets the clock; the first one of a connection made while the history
//   channel is subscribed may be answered by a clock message (no-ack command 05 with a chosen key
//   byte), and opens the download with a transport acknowledgement: status 1 when the user has
//   selected synchronisation on the strap, else status 2, repeated until they do;
// - the history start (command 04) makes it send its history packets, each whole in one no-ack frame or
//   split over several notifications (80, 81.., C<n>), waiting for the kit's acknowledgement of each
//   packet (FF 20 06 00 <number> <sum>) before the next; then the end mark (command 04, key FF).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/sim/DfuBootloader.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"

namespace talvaren::sim {

/// One stored history record: samples two seconds apart from `start` (strap clock seconds).
struct KeloRecord {
  std::uint8_t workoutType = 0x21;
  std::uint32_t start = 0;
  std::vector<std::uint8_t> samples;
};

class KeloStrap : public HeartRateStrap {
 public:
  enum class Framing { whole, split };
  struct HistoryOptions {
    Framing framing = Framing::split;
    /// Records in one history packet (at least 1). A frame states its whole length in one byte, so a
    /// packet sent whole, and each notification of a split one, should carry at most 251 message bytes.
    std::size_t recordsPerPacket = 1;
    /// Message bytes carried by one notification of a split packet (at most 8 notifications a packet).
    std::size_t maxFrameContent = 16;
    /// The user must press the strap's button before the download starts.
    bool needsSelection = false;
    /// Seconds between repeated "please select synchronisation" acknowledgements.
    double selectionPromptInterval = 2.0;
    /// Key byte of the clock message sent after the first clock setting of a connection; absent: none.
    std::optional<std::uint8_t> clockMessageKey;
    /// Seconds between the acknowledgement of one packet and the next packet.
    double packetGap = 0.02;
  };

  KeloStrap(PeripheralIdentifier identifier, std::optional<std::string> name = "Kelo-0001");

  void setHistory(std::vector<KeloRecord> records);
  void setHistoryOptions(HistoryOptions options);
  /// The user presses the strap's synchronisation button.
  void selectSynchronisation();
  /// True once the end mark of a download has been acknowledged.
  bool historyFinished() const;
  /// Packets the kit acknowledged in the current or last download.
  int packetsAcknowledged() const;

  /// The strap's clock: local wall-clock seconds, moving with the platform clock.
  std::int64_t clock() const;
  void setClock(std::int64_t localSeconds);
  /// Times the clock was set by a central.
  int clockSettings() const;

  /// Thresholds (training, overload) last written; absent before any.
  std::optional<std::pair<std::uint8_t, std::uint8_t>> thresholds() const;
  bool inTestMode() const;
  /// Whether a test-mode command is answered "set" (default) or refused.
  void setAcceptsTestMode(bool accepts);
  /// Sends a mode-and-state report on the command channel.
  void reportModeState(std::uint8_t mode, std::uint8_t state);
  /// Sends a clock message (no-ack command 05) with the given key byte on the history channel.
  void sendClockMessage(std::uint8_t key);
  /// Sends a transport acknowledgement with any status on the history channel.
  void sendTransportAcknowledgement(std::uint8_t status);

  /// Live measurement layout values: the signal byte (2).
  void setSignal(std::uint8_t signal);
  bool inUpdateMode() const;
  /// Name advertised in update mode.
  void setUpdateModeName(std::string name);
  /// Drops the link and comes back in update mode at once, as after the update-mode command.
  void enterUpdateMode();
  /// The bootloader that serves the DFU service in update mode (its options, faults and results).
  DfuBootloader& bootloader() { return bootloader_; }
  /// An application image of the strap's firmware, `size` bytes (at least its header): "KELO-FW ", the
  /// software revision it reports once it runs, a NUL, then filler bytes. An activated image without
  /// that header leaves the revision as it was.
  static Bytes firmwareImage(const std::string& softwareRevision, std::size_t size = 6 * 1024);
  /// Seconds from the bootloader's restart to the strap's return in normal mode.
  static constexpr double restartTime = 0.2;

 protected:
  Bytes measurementValue() const override;
  std::optional<Error> didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) override;
  void didDisconnect() override;

 private:
  void addKeloServices();
  /// Back from update mode with the image the bootloader activated.
  void restartWithNewImage();
  void handleCommand(const Bytes& frame);
  void handleTransport(const Bytes& frame);
  void promptSelection(std::uint64_t session);
  void sendPacket();
  void sendHistoryFrame(std::uint8_t identifier, const Bytes& content);
  Bytes packetMessage(std::size_t packet) const;

  std::vector<KeloRecord> history_;
  HistoryOptions options_;
  double clockOffset_ = 0;  // strap clock = platform clock + offset
  int clockSettings_ = 0;
  std::optional<std::pair<std::uint8_t, std::uint8_t>> thresholds_;
  bool testMode_ = false;
  bool acceptsTestMode_ = true;
  std::uint8_t signal_ = 80;
  bool selected_ = false;
  bool waitingForSelection_ = false;
  bool opened_ = false;  // the conversation of this connection has begun
  std::uint64_t session_ = 0;
  std::size_t nextPacket_ = 0;
  std::optional<std::uint8_t> awaitedAck_;
  bool endSent_ = false;
  bool finished_ = false;
  int acknowledged_ = 0;
  bool updateMode_ = false;
  std::string updateModeName_ = "Kelo-Update";
  std::optional<std::string> normalName_;
  std::optional<Bytes> normalRevision_;
  int activationsRun_ = 0;
  DfuBootloader bootloader_;
};

}  // namespace talvaren::sim
