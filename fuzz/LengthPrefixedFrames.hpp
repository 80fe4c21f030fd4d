#pragma once
// Cuts a fuzz input into notifications, each preceded by its length byte (the last one cut short
// when the input ends), and hands them to `handle` in order with the console captured.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "talvaren/platform/Error.hpp"
#include "talvaren/testing/Console.hpp"

template <class Handle>
void forEachLengthPrefixedFrame(const std::uint8_t* data, std::size_t size, Handle&& handle) {
  talvaren::testkit::ConsoleCapture console;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
    handle(talvaren::Bytes(data + at + 1, data + at + 1 + length));
    at += 1 + length;
    console.clear();
  }
}
