#pragma once
// Private: the body of a heart-rate upload.

#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/records/HeartrateSDK.hpp"

namespace talvaren::detail {

/// The samples as one compact JSON array, each the object of `HeartrateSDK::toJSON`, written the way the
/// JSON library writes it (byte for byte) without building the array as a tree first.
Bytes heartrateArrayBody(const std::vector<HeartrateSDK>& heartrates);

}  // namespace talvaren::detail
