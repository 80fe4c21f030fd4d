#include "support/OAuth2Provider.hpp"

#include "support/OAuth1Provider.hpp"

namespace talvaren::testkit {

OAuth2Provider::OAuth2Provider(std::string clientId, std::string clientSecret, std::string redirectURI,
                               std::string scope)
    : clientId_(std::move(clientId)),
      clientSecret_(std::move(clientSecret)),
      redirectURI_(std::move(redirectURI)),
      scope_(std::move(scope)) {
  server_.on("GET", "/oauth2/authorize", [this](const httplib::Request& q, httplib::Response& r) { authorize(q, r); });
}

void OAuth2Provider::deny(bool deny) {
  std::lock_guard lock(mutex_);
  deny_ = deny;
}

void OAuth2Provider::hold(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
}

void OAuth2Provider::answerWith(std::optional<std::string> fragment) {
  std::lock_guard lock(mutex_);
  fragment_ = std::move(fragment);
}

std::vector<std::string> OAuth2Provider::tokens() const {
  std::lock_guard lock(mutex_);
  return tokens_;
}

std::vector<std::string> OAuth2Provider::problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

void OAuth2Provider::authorize(const httplib::Request& request, httplib::Response& response) {
  const auto q = request.target.find('?');
  const std::string query = q == std::string::npos ? std::string() : request.target.substr(q + 1);
  std::map<std::string, std::string> items;
  for (auto& [name, value] : oauthTestForm(query)) items[name] = value;
  auto item = [&](const std::string& name) {
    const auto found = items.find(name);
    return found == items.end() ? std::optional<std::string>() : found->second;
  };
  std::string problem;
  if (item("client_id") != clientId_)
    problem = "wrong client_id";
  else if (item("redirect_uri") != redirectURI_)
    problem = "unregistered redirect_uri";
  else if (item("response_type") != "token")
    problem = "response_type is not token";
  else if (item("scope") != scope_)
    problem = "wrong scope";
  else if (query.find('+') != std::string::npos)
    problem = "a blank sent as +";
  else if (!item("state"))
    problem = "no state";
  else if (item("client_secret") || (!clientSecret_.empty() && request.target.find(clientSecret_) != std::string::npos))
    problem = "the client secret was sent";
  std::lock_guard lock(mutex_);
  if (!problem.empty()) {
    problems_.push_back(problem);
    response.status = 400;
    response.set_content("<html>" + problem + "</html>", "text/html");
    return;
  }
  if (hold_) {
    response.set_content("<html><form>sign in</form></html>", "text/html");
    return;
  }
  std::string fragment;
  if (fragment_) {
    fragment = *fragment_;
  } else if (deny_) {
    fragment = "error=access_denied&state=" + *item("state");
  } else {
    const auto token = "ft" + std::to_string(tokens_.size() + 1) + "x" + std::to_string(std::rand());
    tokens_.push_back(token);
    fragment =
        "access_token=" + token + "&token_type=Bearer&expires_in=86400&scope=activity%20sleep&state=" + *item("state");
  }
  response.status = 302;
  response.set_header("Location", redirectURI_ + "#" + fragment);
}

}  // namespace talvaren::testkit
