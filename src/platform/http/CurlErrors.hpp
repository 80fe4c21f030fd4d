#pragma once
// Private: turns libcurl's result codes into the layer's error values (table in URLError.hpp).

#include <curl/curl.h>

#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::http::detail {

/// The "NSURLErrorDomain" code for a failed transfer; `osErrno` is the system error of a failed
/// connect (CURLINFO_OS_ERRNO), 0 when unknown.
std::int64_t urlErrorCode(CURLcode code, long osErrno);

/// The error value for a failed transfer of `url`.
Error errorForCurl(CURLcode code, long osErrno, const std::string& url);

}  // namespace talvaren::platform::http::detail
