#pragma once
// How the server client builds and starts every request.

#include <memory>
#include <optional>
#include <string_view>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

namespace talvaren {

/// Starts a request on `manager`, never answered from a local cache: the URL request is built from the URL
/// text, method and headers (with the manager's time-out), the parameters are encoded into it, and a given
/// `httpBody` replaces whatever body the encoding wrote (the URL, its query and the headers stay as the
/// encoding left them). When the URL text is no URL or the parameters cannot be encoded, the error is
/// printed, nothing is sent, and the returned request's handlers get that error once, on the main queue:
/// ("NSURLErrorDomain", -1000) or the encoding's error.
std::shared_ptr<platform::http::DataRequest> requestWithoutCache(
    platform::http::SessionManager& manager, std::string_view url, platform::http::HTTPMethod method,
    const std::optional<platform::http::Parameters>& parameters, platform::http::ParameterEncoding encoding,
    std::optional<platform::http::HTTPHeaders> headers, const std::optional<Bytes>& httpBody);

}  // namespace talvaren
