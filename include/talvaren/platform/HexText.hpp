#pragma once
// Bytes as base-16 text, the one writer every layer uses for traces, descriptions and identifiers.

#include <cstdint>
#include <span>
#include <string>

namespace talvaren::platform {

/// Two digits per byte, no separator; lower-case digits unless `upperCase`.
std::string hexText(std::span<const std::uint8_t> bytes, bool upperCase = false);

}  // namespace talvaren::platform
