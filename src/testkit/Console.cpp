#include "talvaren/testing/Console.hpp"

#include <algorithm>

#include "platform/Seams.hpp"

namespace talvaren::testkit {

struct ConsoleCapture::Sink final : console::detail::LineSink {
  explicit Sink(ConsoleCapture& owner) : owner(owner) {}
  void append(std::string line) override { owner.append(std::move(line)); }

  ConsoleCapture& owner;
  console::detail::LineSink* previous = nullptr;
};

ConsoleCapture::ConsoleCapture() : sink_(std::make_unique<Sink>(*this)) {
  sink_->previous = console::detail::exchangeLineSink(sink_.get());
}

ConsoleCapture::~ConsoleCapture() { console::detail::restoreLineSink(sink_.get(), sink_->previous); }

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
