// The logged-in user's account: profile, e-mail, photo and preferences.

#include "api/EndpointCall.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

using namespace platform::http;
using talvaren::detail::callEndpoint;

namespace {

constexpr const char* photoPartName = "profile.mugshot";
constexpr const char* photoFileName = "ic_user_photo.png";
constexpr const char* photoMimeType = "image/png";

/// Runs `completion` once with `error` alone, on the main queue.
void failLater(const Connector::Completion& completion, Error error) {
  if (!completion) return;
  platform::DispatchQueue::main().async([completion, error = std::move(error)] { completion(error, std::nullopt); });
}

/// The printed form of the photo upload's outcome.
std::string outcomeDescription(const UploadOutcome& outcome) {
  if (const auto* value = outcome.value()) return "SUCCESS: " + dictionaryDescription(redact::reply(*value));
  return "FAILURE: " + outcome.error()->description();
}

/// The error the final call of the photo upload carries: the failure's own, or the status outside 200...299
/// with the body shown as the server client shows every refusal (`refusalText`) as its description; none for
/// a 2xx JSON reply.
std::optional<Error> uploadError(const DataResponse<nlohmann::json>& reply) {
  const int status = reply.response ? reply.response->statusCode() : 0;
  if (reply.response && (status < 200 || status > 299)) {
    if (auto text = refusalText(reply.data)) return Error::withDescription("", status, std::move(*text));
    return Error("", status);
  }
  if (const auto* error = reply.result.error()) return *error;
  return std::nullopt;
}

}  // namespace

std::string Connector::userEndPoint() { return talvaren::detail::endpointText<"auth/me/">(); }

std::string Connector::userEmailEndPoint() { return talvaren::detail::endpointText<"auth/me/email/">(); }

std::string Connector::userPreferencesEndPoint() { return talvaren::detail::endpointText<"auth/me/preferences/">(); }

void Connector::getMe(Completion completion) {
  const auto url = userEndPoint();
  console::print(redact::url(url));
  callEndpoint(*this, HTTPMethod::GET, url, std::nullopt, std::move(completion));
}

void Connector::updateMe(const User& user, Completion completion) {
  const auto json = user.toJSON();
  if (!json) return console::print("Failed to parse user data to json!");
  console::print("user json: " + dictionaryDescription(*json));
  callEndpoint(*this, HTTPMethod::PUT, userEndPoint(), *json, std::move(completion));
}

void Connector::deleteMe(Completion completion) {
  callEndpoint(*this, HTTPMethod::DELETE, userEndPoint(), std::nullopt, std::move(completion));
}

void Connector::updateEmail(const User& user, Completion completion) {
  const auto json = user.toJSON();
  if (!json) return console::print("Failed to parse user email data to json!");
  console::print("user email json: " + dictionaryDescription(*json));
  callEndpoint(*this, HTTPMethod::PUT, userEmailEndPoint(), *json, std::move(completion));
}

void Connector::getUserPreferences(Completion completion) {
  const auto url = userPreferencesEndPoint();
  console::print(redact::url(url));
  callEndpoint(*this, HTTPMethod::GET, url, std::nullopt, std::move(completion));
}

void Connector::patchUserPreferences(const PreferencesData& preferences, Completion completion) {
  const auto& identifier = preferences.identifier();
  if (!identifier) return;
  const auto json = preferences.toJSON();
  if (!json) return;
  callEndpoint(*this, HTTPMethod::PATCH, userPreferencesEndPoint() + escapePathSegment(*identifier) + "/", *json,
               std::move(completion));
}

void Connector::updateMeImage(const platform::Image& image, Completion completion) {
  auto png = image.pngData();
  if (!png)
    return failLater(completion,
                     Error::withDescription(std::string(genericErrorDomain), -1, "The image has no PNG encoding"));
  try {
    HTTPHeaders headers{{"Content-type", "application/json"}};
    if (isLoggedInAPIKey()) {
      if (auto stored = sharedInstance()->apiKey()) headers = mergeWith(headers, stored->header());
    }
    const auto session = manager();
    if (!session) return failLater(completion, URLError::make(URLError::unknown));
    session->upload(
        [png = std::move(*png)](MultipartFormData& form) mutable {
          form.append(std::move(png), photoPartName, photoFileName, photoMimeType);
        },
        userEndPoint(), HTTPMethod::PUT, headers,
        [completion](const Result<std::shared_ptr<DataRequest>>& encoded) {
          if (const auto* error = encoded.error()) {
            console::print("encodingError " + error->description());
            if (completion) completion(*error, std::nullopt);
            return;
          }
          const auto& request = *encoded.value();
          request->uploadProgress([completion](const Progress& progress) {
            console::print("uploading " + progress.description());
            if (completion) completion(std::nullopt, ServerReply(progress));
          });
          request->responseJSON(
              [completion](const DataResponse<nlohmann::json>& reply) {
                console::print("responce " + outcomeDescription(reply.result));
                if (completion) completion(uploadError(reply), ServerReply(reply.result));
              },
              JSONReadingOptions::allowFragments);
        });
  } catch (...) {
    failLater(completion, URLError::make(URLError::unknown));
  }
}

}  // namespace talvaren
