#pragma once
// The executor interface is the platform's own now (talvaren/platform/DispatchExecutor.hpp); this name is
// kept for the tests of hosts that include it from here.

#include "talvaren/platform/DispatchExecutor.hpp"
