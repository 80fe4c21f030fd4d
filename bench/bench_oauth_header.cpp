// Signing one request with OAuth 1.0 (RFC 5849, HMAC-SHA1): the "Authorization" header of a GET with
// 8 and with 1,000 query parameters. Normalising the parameters sorts them, so the time per parameter
// grows as log n; "s_per_parameter" shows it.
#include <benchmark/benchmark.h>

#include <string>

#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"

using namespace talvaren::platform;

namespace {

void AuthorizationHeader(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  oauth::OAuthSwiftCredential credential("consumer-key", "consumer-secret");
  credential.oauthToken = "access-token";
  credential.oauthTokenSecret = "token-secret";
  oauth::ParameterList parameters{{"oauth_timestamp", "1700000000"}, {"oauth_nonce", "fixed-nonce"}};
  for (int i = 0; i < count; ++i) {
    // Reverse order, so the sort has work to do.
    parameters.emplace_back("p" + std::to_string(count - i), "value " + std::to_string(i * 7919 % 1000));
  }
  for (auto _ : state) {
    auto header =
        credential.authorizationHeader(http::HTTPMethod::GET, "https://apis.example.com/rest/sleeps", parameters);
    benchmark::DoNotOptimize(header);
  }
  state.counters["s_per_parameter"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(AuthorizationHeader)->Arg(8)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
