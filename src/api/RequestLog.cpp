#include "api/RequestLog.hpp"

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren::detail {

void printRequest(const std::string& url, const std::optional<platform::http::Parameters>& parameters,
                  const platform::http::HTTPHeaders& headers, platform::http::HTTPMethod method,
                  const std::optional<Bytes>& httpBody) {
  constexpr const char* separator = "---------------------";
  console::print(separator);
  console::print("Request: " + redact::url(url));
  console::print("Method: " + std::string(caseName(method)));
  console::print("Headers: " + dictionaryDescription(redact::headers(headers)));
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

}  // namespace talvaren::detail
