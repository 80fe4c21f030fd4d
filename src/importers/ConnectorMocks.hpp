#pragma once
// Test seams of importers: the test doubles of the Garmin and Fitbit connectors, for tests; nothing in the
// kit creates one. They are built into the testkit (src/testkit/ConnectorMocks.cpp), not the library.
//
// A double records the method and URL of each request instead of sending it and completes it with
// (none, none) before returning: it reads no credential or token, builds no headers, writes no log and
// sends nothing. Each call replaces what the one before recorded. The endpoints and import chains above
// the request path run for real on it. Its records may be read and written from any thread.

#include <optional>
#include <string>

#include "importers/FitBitConnector.hpp"
#include "importers/GarminConnector.hpp"
#include "importers/LockedValue.hpp"

namespace talvaren {

namespace detail {

/// The one behaviour of both doubles, over the connector `Connector` they stand in for.
template <class Connector>
class RecordingConnector : public Connector {
 public:
  using typename Connector::Completion;
  using typename Connector::HTTPMethod;
  using typename Connector::ParameterEncoding;
  using typename Connector::Parameters;

  /// The method and URL of the latest call; none before the first.
  virtual std::optional<HTTPMethod> method() const;
  virtual void setMethod(std::optional<HTTPMethod> method);
  virtual std::optional<std::string> url() const;
  virtual void setUrl(std::optional<std::string> url);

  /// Records the method and URL (through the setters) and calls `completion(none, none)` at once.
  void performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                      ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                      bool skipHeaders = false, Completion completion = {}) override;

 private:
  LockedValue<std::optional<HTTPMethod>> method_;
  LockedValue<std::optional<std::string>> url_;
};

extern template class RecordingConnector<GarminConnector>;
extern template class RecordingConnector<FitBitConnector>;

}  // namespace detail

/// A Garmin connector that records its requests; its day chains and imports run as the real one's.
class GarminConnectorMock : public detail::RecordingConnector<GarminConnector> {
 public:
  GarminConnectorMock() = default;
};

/// A Fitbit connector that records its requests; its endpoints run as the real one's.
class FitBitConnectorMock : public detail::RecordingConnector<FitBitConnector> {
 public:
  FitBitConnectorMock() = default;
};

}  // namespace talvaren
