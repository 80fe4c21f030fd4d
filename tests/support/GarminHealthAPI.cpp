#include "support/GarminHealthAPI.hpp"

#include <algorithm>
#include <cctype>

namespace talvaren::testkit {

namespace {

std::optional<std::int64_t> wholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), ::isdigit)) return std::nullopt;
  return std::stoll(text);
}

}  // namespace

GarminHealthAPI::GarminHealthAPI(std::string consumerKey, std::string consumerSecret, TokenSecret tokenSecret)
    : tokenSecret_(std::move(tokenSecret)), verifier_(std::move(consumerKey), std::move(consumerSecret)) {
  const std::pair<Kind, const char*> routes[] = {{Kind::dailies, "/wellness-api/rest/dailies"},
                                                 {Kind::activities, "/wellness-api/rest/activities"},
                                                 {Kind::sleeps, "/wellness-api/rest/sleeps"}};
  for (const auto& [kind, path] : routes) {
    server_.on("GET", path,
               [this, kind = kind](const httplib::Request& q, httplib::Response& r) { answer(kind, q, r); });
  }
}

void GarminHealthAPI::add(Kind kind, std::int64_t uploadTime, nlohmann::json summary) {
  std::lock_guard lock(mutex_);
  summaries_.push_back({kind, uploadTime, std::move(summary)});
}

void GarminHealthAPI::refuseNext(int status, int count) {
  std::lock_guard lock(mutex_);
  refusals_.insert(refusals_.end(), static_cast<std::size_t>(count), status);
}

std::vector<GarminHealthAPI::Served> GarminHealthAPI::served() const {
  std::lock_guard lock(mutex_);
  return served_;
}

std::vector<std::string> GarminHealthAPI::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void GarminHealthAPI::answer(Kind kind, const httplib::Request& request, httplib::Response& response) {
  Served served;
  served.kind = kind;
  auto finish = [&](int status, std::optional<std::string> problem) {
    std::lock_guard lock(mutex_);
    served.status = status;
    served_.push_back(served);
    if (problem) problems_.push_back(*problem);
    response.status = status;
  };
  {
    std::lock_guard lock(mutex_);
    if (!refusals_.empty()) {
      const int status = refusals_.front();
      refusals_.erase(refusals_.begin());
      served.status = status;
      served_.push_back(served);
      response.status = status;
      return;
    }
  }

  // The token's secret is needed before the signature can be checked.
  std::string token;
  const auto header = request.get_header_value("Authorization");
  if (const auto at = header.find("oauth_token=\""); at != std::string::npos) {
    token = header.substr(at + 13, header.find('"', at + 13) - (at + 13));
  }
  const auto secret = tokenSecret_ ? tokenSecret_(token) : std::nullopt;
  if (!secret) return finish(401, "unknown or missing access token");
  std::string problem;
  if (!verifier_.verify(request, server_.url(request.path), *secret, problem)) return finish(401, problem);
  served.token = token;

  const auto query = oauthTestForm(request.target.find('?') == std::string::npos
                                       ? std::string()
                                       : request.target.substr(request.target.find('?') + 1));
  std::optional<std::int64_t> start;
  std::optional<std::int64_t> end;
  for (const auto& [name, value] : query) {
    if (name == "uploadStartTimeInSeconds" && !start) {
      start = wholeNumber(value);
    } else if (name == "uploadEndTimeInSeconds" && !end) {
      end = wholeNumber(value);
    } else {
      return finish(400, "unexpected query item " + name);
    }
  }
  if (!start || !end || *start > *end) return finish(400, "upload window missing or not whole seconds");
  served.start = *start;
  served.end = *end;

  nlohmann::json body = nlohmann::json::array();
  {
    std::lock_guard lock(mutex_);
    for (const auto& summary : summaries_) {
      if (summary.kind == kind && summary.uploadTime >= *start && summary.uploadTime <= *end) {
        body.push_back(summary.value);
      }
    }
  }
  response.set_content(body.dump(), "application/json;charset=UTF-8");
  finish(200, std::nullopt);
}

}  // namespace talvaren::testkit
