#pragma once
// An app bundle's release and build numbers.

#include <optional>
#include <string>

#include "talvaren/platform/Bundle.hpp"

namespace talvaren {

/// The information dictionary's text under "CFBundleShortVersionString"; none when the bundle has no
/// dictionary, the key is missing or its value is not text.
std::optional<std::string> releaseVersionNumber(const platform::Bundle& bundle);
/// The same under "CFBundleVersion".
std::optional<std::string> buildVersionNumber(const platform::Bundle& bundle);
/// Release and build as one text, "2.3 (41)"; "0.0.0" and "0" stand in for missing numbers.
std::string versionNumber(const platform::Bundle& bundle);

}  // namespace talvaren
