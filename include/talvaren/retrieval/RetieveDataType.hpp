#pragma once
// The kind of data a failure report concerns.

namespace talvaren {

enum class RetieveDataType { sleep, activity, calories };

}  // namespace talvaren
