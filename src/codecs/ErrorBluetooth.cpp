#include "talvaren/codecs/ErrorBluetooth.hpp"

namespace talvaren {

Error toError(ErrorBluetooth error) {
  const auto code = static_cast<std::int64_t>(error);
  if (error == ErrorBluetooth::historyOverflow) {
    return Error::withDescription("TalvarenKit.ErrorBluetooth", code,
                                  "The strap sent more history than a strap can store; the download was ended.");
  }
  return Error("TalvarenKit.ErrorBluetooth", code);
}

}  // namespace talvaren
