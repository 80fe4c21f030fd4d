#include "importers/ConnectorMocks.hpp"

namespace talvaren::detail {

template <class Connector>
auto RecordingConnector<Connector>::method() const -> std::optional<HTTPMethod> {
  return method_.get();
}

template <class Connector>
void RecordingConnector<Connector>::setMethod(std::optional<HTTPMethod> method) {
  method_.set(method);
}

template <class Connector>
std::optional<std::string> RecordingConnector<Connector>::url() const {
  return url_.get();
}

template <class Connector>
void RecordingConnector<Connector>::setUrl(std::optional<std::string> url) {
  url_.set(std::move(url));
}

template <class Connector>
void RecordingConnector<Connector>::performAPICall(HTTPMethod method, const std::string& url,
                                                   const std::optional<Parameters>&, ParameterEncoding, bool,
                                                   Completion completion) {
  setMethod(method);
  setUrl(url);
  if (completion) completion(std::nullopt, std::nullopt);
}

template class RecordingConnector<GarminConnector>;
template class RecordingConnector<FitBitConnector>;

}  // namespace talvaren::detail
