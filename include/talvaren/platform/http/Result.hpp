#pragma once
// The outcome of an HTTP step: a value or an error (the platform's one result type).

#include "talvaren/platform/Result.hpp"

namespace talvaren::platform::http {

template <typename Value>
using Result = platform::Result<Value>;

}  // namespace talvaren::platform::http
