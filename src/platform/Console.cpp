#include "talvaren/platform/Console.hpp"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

#include "talvaren/testing/Console.hpp"

namespace talvaren {
namespace {

std::mutex& consoleMutex() {
  static std::mutex m;
  return m;
}

testkit::ConsoleCapture*& activeCapture() {
  static testkit::ConsoleCapture* capture = nullptr;
  return capture;
}

}  // namespace

void console::print(std::string_view line) {
  std::lock_guard lock(consoleMutex());
  if (auto* capture = activeCapture()) {
    capture->append(std::string(line));
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

namespace testkit {

ConsoleCapture::ConsoleCapture() {
  std::lock_guard lock(consoleMutex());
  previous_ = activeCapture();
  activeCapture() = this;
}

ConsoleCapture::~ConsoleCapture() {
  std::lock_guard lock(consoleMutex());
  if (activeCapture() == this) activeCapture() = previous_;
}

std::vector<std::string> ConsoleCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool ConsoleCapture::contains(const std::string& line) const {
  std::lock_guard lock(mutex_);
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

void ConsoleCapture::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

void ConsoleCapture::append(std::string line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

}  // namespace testkit
}  // namespace talvaren
