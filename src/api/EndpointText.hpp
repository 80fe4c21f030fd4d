#pragma once
// Internal interface of api (for the importers' connectors): endpoint URLs, each a base URL (the server client's unless
// another is given) followed by a fixed path, read from the base URL at the endpoint's first use and then kept.
//
//   std::string Connector::loginEndpoint() { return endpointText<"auth/login/">(); }
//   std::string Provider::sleepEndpoint() { return endpointText<"sleep/list", &Provider::APIBaseURL>(); }
//
// A provider's fixed base URL that test code may point elsewhere is a BaseURL:
//
//   constinit BaseURL providerBaseURL("https://api.example.com/");
//   std::string Provider::APIBaseURL() { return providerBaseURL.value(); }

#include <algorithm>
#include <atomic>
#include <cstddef>
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

/// A path literal as a template argument of endpointText.
template <std::size_t N>
struct EndpointPath {
  constexpr EndpointPath(const char (&text)[N]) { std::copy_n(text, N, chars); }  // NOLINT: implicit by design
  constexpr std::string_view view() const { return {chars, N - 1}; }
  char chars[N];
};

/// The endpoint text of `Path` under `base` (the server client's base URL when none): one EndpointText
/// per endpoint, made at the first call and never destroyed, as queues may still ask while the process exits.
template <EndpointPath Path, std::string (*base)() = nullptr>
std::string endpointText() {
  static auto& text = *new EndpointText(Path.view(), base);
  return text.value();
}

class BaseURL {
 public:
  constexpr explicit BaseURL(std::string_view standard) : standard_(standard) {}
  BaseURL(const BaseURL&) = delete;
  BaseURL& operator=(const BaseURL&) = delete;

  /// The override when one is set, else the standard URL; thread-safe.
  std::string value() const;
  /// Test-only: sets or (with none) clears the override; every endpoint text is read afresh at its next use.
  void setOverride(std::optional<std::string> url);

 private:
  std::string_view standard_;
  mutable std::mutex mutex_;
  std::optional<std::string> override_;
};

}  // namespace talvaren::detail
