#include "talvaren/testing/Console.hpp"

#include <algorithm>

#include "platform/Seams.hpp"

namespace talvaren::testkit {

struct ConsoleCapture::Installed {
  console::detail::SinkHandle own;
  console::detail::SinkHandle previous;
};

ConsoleCapture::ConsoleCapture() : installed_(std::make_unique<Installed>()) {
  installed_->own = std::make_shared<const console::Sink>([this](std::string_view line) { append(std::string(line)); });
  installed_->previous = console::detail::exchangeSink(installed_->own);
}

ConsoleCapture::~ConsoleCapture() { console::detail::restoreSink(installed_->own, std::move(installed_->previous)); }

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

}  // namespace talvaren::testkit
