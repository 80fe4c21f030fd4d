#pragma once
// Uniform random numbers and texts from the system's cryptographic generator (OpenSSL's RAND_bytes),
// for nonces and other values an attacker must not guess.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace talvaren::platform::random {

/// The 62 letters and digits: "a"-"z", "A"-"Z", "0"-"9".
inline constexpr std::string_view alphanumerics = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

/// A number drawn uniformly from 0 ..< `upperBound` (rejection sampling, so no value is favoured);
/// 0 when `upperBound` is below 2.
std::uint32_t uniform(std::uint32_t upperBound);

/// `length` characters, each drawn on its own, uniformly, from `alphabet` (the empty text for an
/// empty alphabet).
std::string string(std::size_t length, std::string_view alphabet = alphanumerics);

}  // namespace talvaren::platform::random
