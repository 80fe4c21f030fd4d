#pragma once
// Private: endpoint URLs, each a base URL (the server client's unless another is given) followed by a
// fixed path, read from the base URL at the endpoint's first use and then kept.
//
//   std::string Connector::loginEndpoint() {
//     static EndpointText text("auth/login/");
//     return text.value();
//   }

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace talvaren::detail {

class EndpointText {
 public:
  explicit EndpointText(std::string_view path, std::string (*base)() = nullptr) : path_(path), base_(base) {}
  EndpointText(const EndpointText&) = delete;
  EndpointText& operator=(const EndpointText&) = delete;

  /// The base URL at the first call (since the last test reset) followed by the path; thread-safe.
  std::string value();

  /// Test-only: every endpoint text is read afresh at its next use.
  static void resetAll();

 private:
  std::string_view path_;
  std::string (*base_)();
  std::mutex mutex_;
  std::optional<std::string> text_;
  std::uint64_t generation_ = 0;
};

}  // namespace talvaren::detail
