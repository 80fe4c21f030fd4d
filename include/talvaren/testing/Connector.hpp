#pragma once
// Test-only hooks of the server client: start from a fresh shared client and fresh endpoint texts, and
// choose the machine field the device model name is read from.

#include <optional>
#include <vector>

namespace talvaren::testkit {

/// Replaces the shared client with a new one and forgets every endpoint text fixed so far, so the next
/// use of each endpoint reads the base URL again.
void resetConnector();
/// Forgets every endpoint text fixed so far.
void resetConnectorEndpoints();
/// Makes platform::machineField() return `field` (none: the real one again).
void setMachineField(std::optional<std::vector<char>> field);

}  // namespace talvaren::testkit
