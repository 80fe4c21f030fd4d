#include "support/FitBitWebAPI.hpp"

#include <algorithm>
#include <regex>

namespace talvaren::testkit {
namespace {

const std::regex dayPattern(R"(\d{4}-\d{2}-\d{2})");

/// A log's "dateOfSleep", or "" when it has none.
std::string sleepDay(const nlohmann::json& log) {
  const auto found = log.find("dateOfSleep");
  return found != log.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string seriesPath(const std::string& resource, const std::string& start, const std::string& end) {
  return "/1.2/user/-/activities/" + resource + "/date/" + start + "/" + end + ".json";
}

}  // namespace

FitBitWebAPI::FitBitWebAPI(const OAuth2Provider* provider) : provider_(provider) {
  server_.on("GET", "/1.2/user/-/sleep/list.json",
             [this](const httplib::Request& request, httplib::Response& response) { serveSleep(request, response); });
}

void FitBitWebAPI::acceptToken(std::string token) {
  std::lock_guard lock(mutex_);
  tokens_.push_back(std::move(token));
}

void FitBitWebAPI::series(const std::string& resource, const std::string& start, const std::string& end,
                          nlohmann::json points) {
  seriesReply(resource, start, end, 200, nlohmann::json{{"activities-" + resource, std::move(points)}}.dump());
}

void FitBitWebAPI::seriesReply(const std::string& resource, const std::string& start, const std::string& end,
                               int status, std::string body) {
  server_.on("GET", seriesPath(resource, start, end),
             [this, start, end, status, body](const httplib::Request& request, httplib::Response& response) {
               if (!admit(request, response)) return;
               if (!std::regex_match(start, dayPattern) || !std::regex_match(end, dayPattern) || end < start) {
                 // The provider refuses a range that ends before it starts.
                 return refuse(response, 400, "validation", "Invalid time range: " + start + " to " + end);
               }
               response.status = status;
               response.set_content(body, "application/json;charset=UTF-8");
             });
}

void FitBitWebAPI::sleepLogs(nlohmann::json logs) {
  std::lock_guard lock(mutex_);
  sleepLogs_ = std::move(logs);
}

std::size_t FitBitWebAPI::refusals() const {
  std::lock_guard lock(mutex_);
  return refusals_;
}

std::vector<std::string> FitBitWebAPI::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

bool FitBitWebAPI::admit(const httplib::Request& request, httplib::Response& response) {
  const std::string authorization = request.get_header_value("Authorization");
  const std::string prefix = "Bearer ";
  bool known = false;
  if (authorization.rfind(prefix, 0) == 0) {
    const std::string token = authorization.substr(prefix.size());
    std::vector<std::string> issued;
    {
      std::lock_guard lock(mutex_);
      issued = tokens_;
    }
    if (provider_) {
      const auto handedOut = provider_->tokens();
      issued.insert(issued.end(), handedOut.begin(), handedOut.end());
    }
    known = !token.empty() && std::find(issued.begin(), issued.end(), token) != issued.end();
  }
  if (!known) {
    {
      std::lock_guard lock(mutex_);
      ++refusals_;
    }
    refuse(response, 401, "invalid_token", "Access token invalid");
    return false;
  }

  std::string problem;
  if (request.get_header_value("Accept") != "application/json") {
    problem = "Accept is not application/json";
  } else if (request.get_header_value("Accept-Language") != "en_US") {
    problem = "Accept-Language is not en_US";
  } else if (request.get_header_value("Content-Type") != "application/json; charset=UTF-8") {
    problem = "Content-Type is not application/json; charset=UTF-8";
  } else if (!request.body.empty()) {
    problem = "a GET with a body";
  }
  if (problem.empty()) return true;
  {
    std::lock_guard lock(mutex_);
    problems_.push_back(problem);
  }
  refuse(response, 400, "validation", problem);
  return false;
}

void FitBitWebAPI::refuse(httplib::Response& response, int status, const std::string& type,
                          const std::string& message) {
  response.status = status;
  const nlohmann::json body{{"errors", {{{"errorType", type}, {"message", message}}}}, {"success", false}};
  response.set_content(body.dump(), "application/json;charset=UTF-8");
}

void FitBitWebAPI::serveSleep(const httplib::Request& request, httplib::Response& response) {
  if (!admit(request, response)) return;
  const std::string afterDate = request.get_param_value("afterDate");
  std::string problem;
  int limit = 0;
  if (!std::regex_match(afterDate, dayPattern)) {
    problem = "afterDate is not a day";
  } else if (request.get_param_value("sort") != "asc") {
    problem = "sort must be asc with afterDate";
  } else if (request.get_param_value("offset") != "0") {
    problem = "offset must be 0";
  } else {
    try {
      limit = std::stoi(request.get_param_value("limit"));
    } catch (...) {
      limit = 0;
    }
    if (limit < 1 || limit > 100) problem = "limit must be 1 to 100";
  }
  if (!problem.empty()) {
    {
      std::lock_guard lock(mutex_);
      problems_.push_back(problem);
    }
    return refuse(response, 400, "validation", problem);
  }

  nlohmann::json page = nlohmann::json::array();
  {
    std::lock_guard lock(mutex_);
    std::vector<nlohmann::json> after;
    for (const auto& log : sleepLogs_) {
      if (log.is_object() && sleepDay(log) > afterDate) after.push_back(log);
    }
    std::stable_sort(after.begin(), after.end(), [](const nlohmann::json& a, const nlohmann::json& b) {
      return sleepDay(a) < sleepDay(b);
    });
    for (std::size_t i = 0; i < after.size() && i < static_cast<std::size_t>(limit); ++i) page.push_back(after[i]);
  }
  const nlohmann::json body{
      {"sleep", page}, {"pagination", {{"afterDate", afterDate}, {"limit", limit}, {"offset", 0}, {"sort", "asc"}}}};
  response.set_content(body.dump(), "application/json;charset=UTF-8");
}

}  // namespace talvaren::testkit
