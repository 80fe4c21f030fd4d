// Feeds the update engine's protocol side a run of control-point notifications cut from the input, as
// a target (or a hostile device) would send them, and checks what it promises: at most one end, nothing
// after it, and never more confirmed than the image holds.
#include <algorithm>
#include <cstdlib>

#include "talvaren/platform/dfu/SecureDfuTransfer.hpp"

using namespace talvaren;
using namespace talvaren::platform::dfu;

namespace {
struct CountingLink : SecureDfuLink {
  std::size_t writes = 0;
  void writeControlPoint(const Bytes&) override { ++writes; }
  void writePacket(const Bytes&) override { ++writes; }
  void awaitAnswer() override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  CountingLink link;
  SecureDfuTransfer::Options options;
  options.packetReceiptNotificationParameter = data[0] % 4;
  options.resumeFromTargetOffset = data[0] & 0x10;
  options.forceDfu = data[0] & 0x20;
  options.packetSize = static_cast<std::uint16_t>(data[1] % 64);
  int ends = 0;
  SecureDfuTransfer::Events events;
  events.finished = [&](const std::optional<std::pair<DFUError, std::string>>&) { ++ends; };
  events.progress = [&](int percent, double, double) {
    if (percent < 0 || percent > 100) std::abort();
  };
  Bytes image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  SecureDfuTransfer transfer({"application", {1, 4, 44, 1, 0, 0, 1, 2, 3, 4}, image}, options, link, events);
  transfer.start();
  // Notifications, each preceded by its length byte (the last one cut short when the input ends).
  for (std::size_t at = 2; at < size;) {
    const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
    const Bytes frame(data + at + 1, data + at + 1 + length);
    at += 1 + length;
    const bool finished = transfer.isFinished();
    const auto writes = link.writes;
    if (auto response = secure::parseResponse(frame); response && response->result != secure::resultSuccess) {
      if (secure::errorOf(*response).second.empty()) std::abort();
    }
    transfer.handleNotification(frame);
    if (finished && link.writes != writes) std::abort();
    if (transfer.confirmedOffset() > image.size() || ends > 1) std::abort();
    // A burst of packets is never more than the image (and the init packet) over again.
    if (link.writes - writes > image.size() + 20) std::abort();
  }
  return 0;
}
