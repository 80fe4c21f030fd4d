#include "api/RequestLog.hpp"

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"
#include "utilities/HeaderDescription.hpp"

namespace talvaren::detail {

void printRequest(const std::string& url, const std::optional<platform::http::Parameters>& parameters,
                  const platform::http::HTTPHeaders& headers, platform::http::HTTPMethod method,
                  const std::optional<Bytes>& httpBody) {
  constexpr const char* separator = "---------------------";
  console::print(separator);
  console::print("Request: " + redact::url(url));
  console::print(std::string("Method: ").append(caseName(method)));
  console::print(headerDescription("Headers: ", headers, &redact::isSecretHeader, redact::placeholder));
  if (parameters) {
    console::print("Parameters:");
    console::print(dictionaryDescription(redact::parameters(*parameters)));
  }
  if (httpBody) {
    console::print("Body:");
    console::print(std::to_string(httpBody->size()) + " bytes");
  }
  console::print(separator);
}

void printReply(std::string_view label, const platform::http::DataResponse<JSON>& reply,
                platform::http::HTTPMethod method) noexcept {
  const auto absent = [label](std::string_view what) {
    std::string line;
    line.reserve(label.size() + what.size() + 16);
    return line.append(label).append(" response.").append(what).append(" = nil");
  };
  const auto* value = reply.result.value();
  const auto* error = reply.result.error();
  try {
    console::print(reply.response ? std::to_string(reply.response->statusCode()) : absent("response?.statusCode"));
    console::print(!value                             ? absent("result.value")
                   : redact::replyHoldsSecrets(*value) ? dictionaryDescription(redact::reply(*value))
                                                       : dictionaryDescription(*value));
    console::print(caseName(method));
    console::print(error ? error->description() : absent("result.error"));
  } catch (...) {
    // A line that cannot be written changes nothing about the reply.
  }
}

}  // namespace talvaren::detail
