// An example host program: shows the kit at work without a radio or a server.
#include <cstdio>

#include "talvaren/platform/Date.hpp"

int main() {
  std::printf("TalvarenKit example host\n");
  std::printf("Now: %s\n", talvaren::Date::now().description().c_str());
  return 0;
}
