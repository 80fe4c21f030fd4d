#include "support/LoopbackService.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace talvaren::testkit {

namespace {

using nlohmann::json;

void reply(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(body.dump(), "application/json");
}

void detail(httplib::Response& response, int status, const std::string& text) {
  reply(response, status, json{{"detail", text}});
}

/// The JSON body, or null when it is none.
json parseBody(const httplib::Request& request) {
  auto body = json::parse(request.body, nullptr, false);
  return body.is_discarded() ? json() : body;
}

std::optional<std::string> text(const json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::optional<std::int64_t> integer(const std::string& value) {
  if (value.empty()) return std::nullopt;
  std::size_t used = 0;
  try {
    const auto number = std::stoll(value, &used);
    return used == value.size() ? std::optional(number) : std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

/// A "yyyy-MM-dd" text as days since 1970.
std::optional<std::int64_t> dayNumber(const std::string& value) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (value.size() != 10 || std::sscanf(value.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(m)),
                                         std::chrono::day(static_cast<unsigned>(d))};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date).time_since_epoch().count();
}

/// A raw path split at "/" and each piece percent-decoded ("a%2Fb/" gives "a/b", "").
std::vector<std::string> segments(const std::string& rest) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto slash = rest.find('/', start);
    parts.push_back(httplib::detail::decode_url(rest.substr(start, slash - std::min(slash, start)), false));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

const char* const dayResources[] = {"activity", "calories", "sleep", "hrv-scores"};

}  // namespace

LoopbackService::LoopbackService(Options options) : options_(options) {
  server_.setRecording(options_.recordRequests);
  server_.otherwise([this](const Request& request, Response& response) { handle(request, response); });
}

std::int64_t LoopbackService::addUser(const std::string& email, const std::string& password,
                                      const std::string& firstName) {
  std::lock_guard lock(mutex_);
  return addAccount(email, password, firstName);
}

std::int64_t LoopbackService::addAccount(const std::string& email, const std::string& password,
                                         const std::string& firstName) {
  const auto pk = nextPk_++;
  Account account;
  account.email = email;
  account.password = password;
  account.user = json{{"pk", pk},        {"username", email.substr(0, email.find('@'))},
                      {"email", email},  {"first_name", firstName},
                      {"last_name", ""}, {"profile", json{{"units", "metric"}, {"has_band", false}}}};
  account.apiKey = "key-" + std::to_string(pk) + "-" + std::to_string(nextIdentifier_++);
  account.publicId = "public-" + std::to_string(pk);
  accounts_.emplace(pk, std::move(account));
  return pk;
}

void LoopbackService::expireTokens() {
  std::lock_guard lock(mutex_);
  for (const auto& [token, pk] : tokens_) expired_.insert(token);
}

void LoopbackService::addHeartrates(std::int64_t pk, const std::vector<json>& samples) {
  std::lock_guard lock(mutex_);
  auto& account = accounts_.at(pk);
  for (const auto& sample : samples) account.heartrates[sample.at("timestamp").get<std::int64_t>()] = sample;
}

void LoopbackService::addFirmware(json firmware) {
  std::lock_guard lock(mutex_);
  firmwares_.push_back(std::move(firmware));
}

void LoopbackService::addPreference(std::int64_t pk, json preference) {
  std::lock_guard lock(mutex_);
  accounts_.at(pk).preferences.push_back(std::move(preference));
}

json LoopbackService::user(std::int64_t pk) const {
  std::lock_guard lock(mutex_);
  const auto it = accounts_.find(pk);
  return it == accounts_.end() ? json() : it->second.user;
}

std::vector<json> LoopbackService::heartrates(std::int64_t pk) const {
  std::lock_guard lock(mutex_);
  std::vector<json> samples;
  if (const auto it = accounts_.find(pk); it != accounts_.end()) {
    for (const auto& [timestamp, sample] : it->second.heartrates) samples.push_back(sample);
  }
  return samples;
}

std::vector<json> LoopbackService::records(std::int64_t pk, const std::string& resource) const {
  std::lock_guard lock(mutex_);
  const auto it = accounts_.find(pk);
  if (it == accounts_.end()) return {};
  const auto found = it->second.records.find(resource);
  return found == it->second.records.end() ? std::vector<json>() : found->second;
}

std::optional<LoopbackService::Photo> LoopbackService::photo(std::int64_t pk) const {
  std::lock_guard lock(mutex_);
  const auto it = accounts_.find(pk);
  return it == accounts_.end() ? std::nullopt : it->second.photo;
}

std::vector<json> LoopbackService::devices(std::int64_t pk) const {
  std::lock_guard lock(mutex_);
  const auto it = accounts_.find(pk);
  return it == accounts_.end() ? std::vector<json>() : it->second.devices;
}

std::string LoopbackService::makeIdentifier() {
  char text[40];
  const auto n = nextIdentifier_++;
  std::snprintf(text, sizeof text, "%08llx-0000-4000-8000-%012llx", static_cast<unsigned long long>(n * 2654435761u),
                static_cast<unsigned long long>(n));
  return text;
}

std::string LoopbackService::issueToken(std::int64_t pk) {
  const auto token = "tok-" + std::to_string(pk) + "-" + std::to_string(nextIdentifier_++);
  tokens_[token] = pk;
  return token;
}

void LoopbackService::credentialReply(std::int64_t pk, int status, Response& response) {
  const auto& account = accounts_.at(pk);
  reply(response, status,
        json{{"token", issueToken(pk)},
             {"user_id", pk},
             {"X-API-Key", account.apiKey},
             {"X-API-PublicId", account.publicId}});
  response.set_header("Set-Cookie", "csrftoken=csrf-" + std::to_string(pk) + "; Path=/");
}

void LoopbackService::handle(const Request& request, Response& response) {
  std::lock_guard lock(mutex_);
  // Routed on the path as sent, so an escaped "/" inside an identifier does not split it.
  const std::string path = request.target.substr(0, request.target.find('?'));
  if (request.body.size() > options_.maxBodyBytes) {
    response.status = 413;
    response.set_content("client intended to send too large body: " + std::to_string(request.body.size()) + " bytes",
                         "text/plain");
    return;
  }
  const auto body = parseBody(request);
  if (path == "/auth/login/" || path == "/auth/signup/" || path == "/auth/login/refresh/" ||
      path == "/auth/password/reset/") {
    if (request.method != "POST") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    if (path == "/auth/login/") return login(body, response);
    if (path == "/auth/signup/") return signup(body, response);
    if (path == "/auth/login/refresh/") return refresh(body, response);
    if (!text(body, "email")) return reply(response, 400, json{{"email", {"This field is required."}}});
    return detail(response, 200, "Password reset e-mail has been sent.");
  }
  if (path == "/auth/logout/") {
    const auto authorization = request.get_header_value("Authorization");
    if (startsWith(authorization, "Token ")) tokens_.erase(authorization.substr(6));
    return detail(response, 200, "Successfully logged out.");
  }
  if (startsWith(path, "/firmwares/")) return firmwares(request, response, path.substr(11));

  std::int64_t pk = 0;
  Account* account = authenticate(request, response, pk);
  if (!account) return;
  if (startsWith(path, "/auth/me/")) return me(request, body, response, pk, path.substr(9));
  if (startsWith(path, "/heartrate/")) return heartrate(request, body, response, *account, path.substr(11));
  for (const char* resource : dayResources) {
    const std::string prefix = "/" + std::string(resource) + "/";
    if (startsWith(path, prefix))
      return dayRecords(request, body, response, *account, resource, path.substr(prefix.size()));
  }
  if (startsWith(path, "/weekly-score/") && request.method == "GET") {
    const auto parts = segments(path.substr(14));
    const auto day = parts.size() == 2 && parts[1].empty() ? dayNumber(parts[0]) : std::nullopt;
    if (!day) return detail(response, 404, "Not found.");
    int count = 0;
    for (const auto& [resource, list] : account->records) {
      for (const auto& record : list) {
        const auto recordDay = dayNumber(text(record, "date").value_or("").substr(0, 10));
        if (recordDay && *recordDay <= *day && *recordDay > *day - 7) ++count;
      }
    }
    return reply(response, 200, json{{"date", parts[0]}, {"score", count}});
  }
  if (path == "/devices/" && request.method == "POST") {
    if (!body.is_object() || body.empty()) return reply(response, 400, json{{"non_field_errors", {"Invalid data."}}});
    auto device = body;
    device["id"] = static_cast<std::int64_t>(account->devices.size() + 1);
    account->devices.push_back(device);
    return reply(response, 201, device);
  }
  detail(response, 404, "Not found.");
}

LoopbackService::Account* LoopbackService::authenticate(const Request& request, Response& response, std::int64_t& pk) {
  const auto authorization = request.get_header_value("Authorization");
  if (startsWith(authorization, "Token ")) {
    const auto token = authorization.substr(6);
    const auto it = tokens_.find(token);
    if (it == tokens_.end() || expired_.count(token)) {
      detail(response, 401, "Invalid token.");
      return nullptr;
    }
    pk = it->second;
    return &accounts_.at(pk);
  }
  const auto key = request.get_header_value("X-API-Key");
  const auto publicId = request.get_header_value("X-API-PublicId");
  for (auto& [owner, account] : accounts_) {
    if (!key.empty() && account.apiKey == key && account.publicId == publicId) {
      pk = owner;
      return &account;
    }
  }
  detail(response, 401, "Authentication credentials were not provided.");
  return nullptr;
}

void LoopbackService::login(const json& body, Response& response) {
  const auto email = text(body, "email");
  const auto password = text(body, "password");
  for (const auto& [pk, account] : accounts_) {
    if (email && password && account.email == *email && account.password == *password) {
      return credentialReply(pk, 200, response);
    }
  }
  reply(response, 400, json{{"non_field_errors", {"Unable to log in with provided credentials."}}});
}

void LoopbackService::signup(const json& body, Response& response) {
  const auto email = text(body, "email");
  const auto password = text(body, "password1");
  if (!email || !password || email->find('@') == std::string::npos) {
    return reply(response, 400, json{{"email", {"Enter a valid e-mail address and password."}}});
  }
  if (const auto again = text(body, "password2"); again && *again != *password) {
    return reply(response, 400, json{{"non_field_errors", {"The two password fields didn't match."}}});
  }
  for (const auto& [pk, account] : accounts_) {
    if (account.email == *email) {
      return reply(response, 400, json{{"email", {"A user is already registered with this e-mail address."}}});
    }
  }
  const auto pk = addAccount(*email, *password, text(body, "first_name").value_or(""));
  credentialReply(pk, 201, response);
}

void LoopbackService::refresh(const json& body, Response& response) {
  const auto token = text(body, "token");
  const auto it = token ? tokens_.find(*token) : tokens_.end();
  if (it == tokens_.end()) return reply(response, 400, json{{"non_field_errors", {"Error decoding signature."}}});
  const auto pk = it->second;
  tokens_.erase(it);
  reply(response, 200, json{{"token", issueToken(pk)}, {"user_id", pk}});
}

void LoopbackService::me(const Request& request, const json& body, Response& response, std::int64_t pk,
                         const std::string& rest) {
  auto& account = accounts_.at(pk);
  if (rest.empty()) {
    if (request.method == "GET") return reply(response, 200, account.user);
    if (request.method == "DELETE") {
      std::erase_if(tokens_, [pk](const auto& entry) { return entry.second == pk; });
      accounts_.erase(pk);
      response.status = 204;
      return;
    }
    if (request.method != "PUT") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    if (request.is_multipart_form_data()) {
      const auto& files = request.files;
      const auto part = files.find("profile.mugshot");
      if (part == files.end() || part->second.filename.empty() || part->second.content_type != "image/png" ||
          part->second.content.rfind("\x89PNG\r\n\x1a\n", 0) != 0) {
        return reply(response, 400, json{{"profile.mugshot", {"Upload a valid image."}}});
      }
      account.photo = Photo{part->second.filename, part->second.content};
      account.user["profile"]["mugshot"] = "/media/mugshots/" + std::to_string(pk) + ".png";
      return reply(response, 200, account.user);
    }
    if (!body.is_object() || !text(body, "first_name")) {
      return reply(response, 400, json{{"first_name", {"This field is required."}}});
    }
    for (const char* key : {"username", "first_name", "last_name"}) {
      if (const auto value = text(body, key)) account.user[key] = *value;
    }
    if (body.contains("profile") && body["profile"].is_object()) account.user["profile"].update(body["profile"]);
    return reply(response, 200, account.user);
  }
  if (rest == "email/") {
    if (request.method != "PUT") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    const auto email = text(body, "email");
    if (!email || email->find('@') == std::string::npos) {
      return reply(response, 400, json{{"email", {"Enter a valid email address."}}});
    }
    account.email = *email;
    account.user["email"] = *email;
    return reply(response, 200, json{{"email", *email}});
  }
  if (rest == "preferences/" && request.method == "GET") return reply(response, 200, account.preferences);
  if (startsWith(rest, "preferences/")) {
    const auto parts = segments(rest.substr(12));
    if (parts.size() != 2 || !parts[1].empty()) return detail(response, 404, "Not found.");
    if (request.method != "PATCH") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    for (auto& preference : account.preferences) {
      if (text(preference, "identifier") == parts[0]) {
        if (const auto value = text(body, "value")) preference["value"] = *value;
        return reply(response, 200, preference);
      }
    }
    return detail(response, 404, "Not found.");
  }
  if (rest == "tracking-settings/") {
    if (request.method == "GET") {
      return account.tracking ? reply(response, 200, *account.tracking) : detail(response, 404, "Not found.");
    }
    if (request.method != "POST" && request.method != "PUT") {
      return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    }
    if (!body.is_object()) return reply(response, 400, json{{"non_field_errors", {"Invalid data."}}});
    auto settings = body;
    settings["user"] = pk;
    const bool created = !account.tracking;
    account.tracking = settings;
    return reply(response, created ? 201 : 200, settings);
  }
  detail(response, 404, "Not found.");
}

void LoopbackService::heartrate(const Request& request, const json& body, Response& response, Account& account,
                                const std::string& rest) {
  const auto valid = [](const json& sample) {
    return sample.is_object() && sample.contains("timestamp") && sample["timestamp"].is_number_integer() &&
           sample.contains("value") && sample["value"].is_number_integer();
  };
  const auto store = [&](json sample) {
    sample["owner"] = account.user["pk"];
    const auto timestamp = sample["timestamp"].get<std::int64_t>();
    account.heartrates[timestamp] = std::move(sample);
  };
  if (rest.empty()) {
    if (request.method == "POST") {
      if (body.is_array()) {
        if (!std::all_of(body.begin(), body.end(), valid)) {
          return reply(response, 400, json{{"timestamp", {"This field is required."}}});
        }
        for (const auto& sample : body) store(sample);
        return reply(response, 201, json{{"created", body.size()}});
      }
      if (!valid(body)) return reply(response, 400, json{{"timestamp", {"This field is required."}}});
      store(body);
      return reply(response, 201, body);
    }
    if (request.method != "GET") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    const auto bound = [&](const char* key, std::int64_t fallback) {
      return request.has_param(key) ? integer(request.get_param_value(key)) : std::optional(fallback);
    };
    const auto low = bound("timestamp__gte", INT64_MIN);
    const auto high = bound("timestamp__lte", INT64_MAX);
    const auto page = bound("page", 1);
    if (!low || !high) return reply(response, 400, json{{"timestamp", {"Enter a number."}}});
    if (!page || *page < 1) return detail(response, 404, "Invalid page.");
    // Positions by timestamp, rebuilt after a change, so a page costs its own samples only.
    if (account.orderedTimestamps.size() != account.heartrates.size()) {
      account.orderedTimestamps.clear();
      for (const auto& [timestamp, sample] : account.heartrates) account.orderedTimestamps.push_back(timestamp);
    }
    const auto& order = account.orderedTimestamps;
    const auto begin = std::lower_bound(order.begin(), order.end(), *low) - order.begin();
    const auto end = std::upper_bound(order.begin(), order.end(), *high) - order.begin();
    const auto count = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, end - begin));
    const auto offset = static_cast<std::size_t>(*page - 1) * options_.pageSize;
    if (offset >= count && *page != 1) return detail(response, 404, "Invalid page.");
    json results = json::array();
    for (std::size_t i = offset; i < count && i < offset + options_.pageSize; ++i) {
      results.push_back(account.heartrates.at(order[static_cast<std::size_t>(begin) + i]));
    }
    const auto pageURL = [&](std::int64_t number) {
      return "http://" + request.get_header_value("Host") + "/heartrate/?page=" + std::to_string(number) +
             "&timestamp__gte=" + std::to_string(*low) + "&timestamp__lte=" + std::to_string(*high);
    };
    return reply(response, 200,
                 json{{"count", count},
                      {"next", offset + options_.pageSize < count ? json(pageURL(*page + 1)) : json()},
                      {"previous", *page > 1 ? json(pageURL(*page - 1)) : json()},
                      {"results", std::move(results)}});
  }
  const auto parts = segments(rest);
  const auto timestamp = parts.size() == 2 && parts[1].empty() ? integer(parts[0]) : std::nullopt;
  if (!timestamp) return detail(response, 404, "Not found.");
  const auto it = account.heartrates.find(*timestamp);
  if (request.method == "GET") {
    return it == account.heartrates.end() ? detail(response, 404, "Not found.") : reply(response, 200, it->second);
  }
  if (request.method != "PUT") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
  if (it == account.heartrates.end()) return detail(response, 404, "Not found.");
  if (!valid(body) || body["timestamp"] != *timestamp) {
    return reply(response, 400, json{{"timestamp", {"Does not match the sample."}}});
  }
  store(body);
  reply(response, 200, account.heartrates[*timestamp]);
}

void LoopbackService::dayRecords(const Request& request, const json& body, Response& response, Account& account,
                                 const std::string& resource, const std::string& rest) {
  auto& list = account.records[resource];
  const auto dayOf = [](const json& record) { return dayNumber(text(record, "date").value_or("").substr(0, 10)); };
  if (rest.empty()) {
    if (request.method == "POST") {
      if (!body.is_object() || !dayOf(body)) return reply(response, 400, json{{"date", {"This field is required."}}});
      auto record = body;
      record["uuid"] = makeIdentifier();
      record["owner"] = account.user["pk"];
      list.push_back(record);
      return reply(response, 201, record);
    }
    if (request.method != "GET") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
    std::optional<std::int64_t> low, high, limit;
    if (request.has_param("date__gte") && !(low = dayNumber(request.get_param_value("date__gte")))) {
      return reply(response, 400, json{{"date", {"Enter a valid date."}}});
    }
    if (request.has_param("date__lte") && !(high = dayNumber(request.get_param_value("date__lte")))) {
      return reply(response, 400, json{{"date", {"Enter a valid date."}}});
    }
    if (request.has_param("limit") && !(limit = integer(request.get_param_value("limit")))) {
      return reply(response, 400, json{{"limit", {"Enter a number."}}});
    }
    json results = json::array();
    for (const auto& record : list) {
      const auto day = dayOf(record);
      if ((low && (!day || *day < *low)) || (high && (!day || *day > *high))) continue;
      if (limit && static_cast<std::int64_t>(results.size()) >= *limit) break;
      results.push_back(record);
    }
    return reply(response, 200,
                 json{{"count", results.size()}, {"next", nullptr}, {"previous", nullptr}, {"results", results}});
  }
  const auto parts = segments(rest);
  if (resource == "hrv-scores" || parts.size() != 2 || !parts[1].empty()) return detail(response, 404, "Not found.");
  if (request.method != "GET" && request.method != "PUT" && request.method != "PATCH") {
    return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
  }
  const auto it = std::find_if(list.begin(), list.end(), [&](const json& r) { return text(r, "uuid") == parts[0]; });
  if (it == list.end()) return detail(response, 404, "Not found.");
  if (request.method == "GET") return reply(response, 200, *it);
  if (!body.is_object()) return reply(response, 400, json{{"non_field_errors", {"Invalid data."}}});
  auto record = request.method == "PUT" ? body : *it;
  if (request.method == "PATCH") record.update(body);
  record["uuid"] = parts[0];
  record["owner"] = account.user["pk"];
  if (!dayOf(record)) return reply(response, 400, json{{"date", {"This field is required."}}});
  *it = record;
  reply(response, 200, record);
}

void LoopbackService::firmwares(const Request& request, Response& response, const std::string& rest) {
  if (request.get_header_value("X-API-Key") != developmentAPIKey ||
      request.get_header_value("X-API-PublicId") != developmentPublicId) {
    return detail(response, 403, "Invalid API key.");
  }
  if (request.method != "GET") return detail(response, 405, "Method \"" + request.method + "\" not allowed.");
  if (rest.empty()) {
    std::optional<std::int64_t> limit;
    if (request.has_param("limit") && !(limit = integer(request.get_param_value("limit")))) {
      return reply(response, 400, json{{"limit", {"Enter a number."}}});
    }
    json results = json::array();
    for (const auto& firmware : firmwares_) {
      bool wanted = true;
      for (const char* key : {"device", "version_number"}) {
        if (request.has_param(key) && text(firmware, key) != request.get_param_value(key)) wanted = false;
      }
      if (!wanted) continue;
      if (limit && static_cast<std::int64_t>(results.size()) >= *limit) break;
      results.push_back(firmware);
    }
    return reply(response, 200,
                 json{{"count", results.size()}, {"next", nullptr}, {"previous", nullptr}, {"results", results}});
  }
  const auto parts = segments(rest);
  if (parts.size() == 3 && parts[1] == "download" && parts[2].empty()) {
    for (const auto& firmware : firmwares_) {
      if (text(firmware, "uuid") == parts[0]) {
        return reply(
            response, 200,
            json{{"url", "http://" + request.get_header_value("Host") + "/media/firmwares/" + parts[0] + ".zip"},
                 {"checksum", firmware.value("checksum", "")}});
      }
    }
  }
  detail(response, 404, "Not found.");
}

}  // namespace talvaren::testkit
