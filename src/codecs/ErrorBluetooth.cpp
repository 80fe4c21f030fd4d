#include "talvaren/codecs/ErrorBluetooth.hpp"

namespace talvaren {

Error toError(ErrorBluetooth error) {
  return Error("TalvarenKit.ErrorBluetooth", static_cast<std::int64_t>(error));
}

}  // namespace talvaren
