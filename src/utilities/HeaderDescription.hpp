#pragma once
// Internal interface of utilities (for api): the request log's header line, written without a redacted
// copy of the headers.

#include <map>
#include <string>
#include <string_view>

namespace talvaren::detail {

/// `prefix` followed by `dictionaryDescription(headers)`, except that the value of every header for whose
/// name `hidden` answers true prints as `placeholder`.
std::string headerDescription(std::string_view prefix, const std::map<std::string, std::string>& headers,
                              bool (*hidden)(std::string_view), std::string_view placeholder);

}  // namespace talvaren::detail
