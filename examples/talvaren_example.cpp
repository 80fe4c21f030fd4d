// An example host program: shows the kit at work without a radio or a server.
#include <cstdio>

#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/UserDefaults.hpp"

int main() {
  using namespace talvaren;
  std::printf("TalvarenKit example host\n");
  std::printf("Now: %s\n", Date::now().description().c_str());

  // The kit keeps its settings in the standard user defaults under the application home.
  auto defaults = platform::UserDefaults::standard();
  auto launches = defaults->integerForKey("ExampleLaunchCount") + 1;
  defaults->set(launches, "ExampleLaunchCount");
  std::printf("User defaults: %s\n", platform::AppHome::userDefaultsPath().c_str());
  std::printf("Launches of this example: %lld\n", static_cast<long long>(defaults->integerForKey("ExampleLaunchCount")));
  return 0;
}
