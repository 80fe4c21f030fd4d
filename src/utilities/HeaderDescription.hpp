#pragma once
// Internal interface of utilities (for api): the request log's descriptions, written onto the end of a
// text the log reuses, and the header line without a redacted copy of the headers.

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace talvaren::detail {

/// Appends `prefix` and `dictionaryDescription(headers)` to `out`, except that the value of every header
/// for whose name `hidden` answers true prints as `placeholder`.
void appendHeaderDescription(std::string& out, std::string_view prefix,
                             const std::map<std::string, std::string>& headers, bool (*hidden)(std::string_view),
                             std::string_view placeholder);

/// Appends `dictionaryDescription(value)` to `out`.
void appendDictionaryDescription(std::string& out, const nlohmann::json& value);

}  // namespace talvaren::detail
