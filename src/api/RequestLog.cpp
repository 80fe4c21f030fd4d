#include "api/RequestLog.hpp"

#include <array>
#include <charconv>
#include <span>
#include <utility>

#include "platform/ConsoleLines.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"
#include "utilities/HeaderDescription.hpp"

namespace talvaren::detail {
namespace {

/// The text the log blocks of a thread write their lines into, kept from block to block.
thread_local std::string reusedText;

/// The lines of one log block, written one after the other into one text and printed together. The text
/// is the thread's reused one; a block made while another is open on the thread (a sink that logs) gets
/// a text of its own.
class LogBlock {
 public:
  LogBlock() : text_(std::exchange(reusedText, {})) { text_.clear(); }
  ~LogBlock() {
    // A text grown by a very large line is not kept.
    if (text_.capacity() <= keptCapacity) reusedText = std::move(text_);
  }
  LogBlock(const LogBlock&) = delete;
  LogBlock& operator=(const LogBlock&) = delete;

  /// The text the current line is written onto.
  std::string& text() { return text_; }

  /// Ends the current line; lines past the block's capacity are left out.
  void endLine() {
    if (count_ < ends_.size()) ends_[count_++] = text_.size();
  }

  void add(std::string_view line) {
    text_.append(line);
    endLine();
  }

  void print() const {
    std::array<std::string_view, maxLines> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      lines[i] = std::string_view(text_).substr(start, ends_[i] - start);
      start = ends_[i];
    }
    console::detail::printLines(std::span(lines.data(), count_));
  }

 private:
  static constexpr std::size_t maxLines = 9;
  static constexpr std::size_t keptCapacity = 64 * 1024;
  std::string text_;
  std::array<std::size_t, maxLines> ends_{};
  std::size_t count_ = 0;
};

}  // namespace

void printRequest(const std::string& url, const std::optional<platform::http::Parameters>& parameters,
                  const platform::http::HTTPHeaders& headers, platform::http::HTTPMethod method,
                  const std::optional<Bytes>& httpBody) {
  constexpr std::string_view separator = "---------------------";
  LogBlock block;
  block.add(separator);
  block.text().append("Request: ").append(redact::url(url));
  block.endLine();
  block.text().append("Method: ").append(caseName(method));
  block.endLine();
  appendHeaderDescription(block.text(), "Headers: ", headers, &redact::isSecretName, redact::placeholder);
  block.endLine();
  if (parameters) {
    block.add("Parameters:");
    appendDictionaryDescription(block.text(), redact::parameters(*parameters));
    block.endLine();
  }
  if (httpBody) {
    block.add("Body:");
    block.text().append(std::to_string(httpBody->size())).append(" bytes");
    block.endLine();
  }
  block.add(separator);
  block.print();
}

void printReply(std::string_view label, const platform::http::DataResponse<JSON>& reply,
                platform::http::HTTPMethod method) noexcept {
  const auto* value = reply.result.value();
  const auto* error = reply.result.error();
  LogBlock block;
  auto& text = block.text();
  const auto absent = [&](std::string_view what) {
    text.append(label).append(" response.").append(what).append(" = nil");
  };
  try {
    if (reply.response) {
      std::array<char, 16> digits;
      const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), reply.response->statusCode());
      text.append(digits.data(), written.ptr);
    } else {
      absent("response?.statusCode");
    }
    block.endLine();
    if (!value) {
      absent("result.value");
    } else if (redact::replyHoldsSecrets(*value)) {
      appendDictionaryDescription(text, redact::reply(*value));
    } else {
      appendDictionaryDescription(text, *value);
    }
    block.endLine();
    text.append(caseName(method));
    block.endLine();
    if (error) {
      text.append(error->description());
    } else {
      absent("result.error");
    }
    block.endLine();
  } catch (...) {
    // Only an allocation failure lands here: the lines made so far are printed.
  }
  try {
    block.print();
  } catch (...) {
    // Lines that cannot be written change nothing about the reply.
  }
}

}  // namespace talvaren::detail
