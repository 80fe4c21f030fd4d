#include "talvaren/platform/Error.hpp"

#include <utility>

namespace talvaren {

Error::Error(std::string domain_, std::int64_t code_, nlohmann::json userInfo_)
    : domain(std::move(domain_)), code(code_), userInfo(std::move(userInfo_)) {
  if (!userInfo.is_object()) userInfo = nlohmann::json::object();
}

Error Error::withDescription(std::string domain, std::int64_t code, std::string description) {
  nlohmann::json info = nlohmann::json::object();
  info[LocalizedDescriptionKey] = std::move(description);
  return Error(std::move(domain), code, std::move(info));
}

std::string Error::localizedDescription() const {
  if (userInfo.is_object()) {
    auto it = userInfo.find(LocalizedDescriptionKey);
    if (it != userInfo.end() && it->is_string()) return it->get_ref<const std::string&>();
  }
  return "The operation couldn\u2019t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string Error::description() const {
  return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
}

}  // namespace talvaren
