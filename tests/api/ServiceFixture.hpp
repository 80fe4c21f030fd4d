#pragma once
// The server client against the loopback stand-in of the cloud service: one account, the client's host
// routed to the service, and helpers to log in and to read what reached the service.

#include <algorithm>
#include <string>
#include <vector>

#include "ConnectorFixture.hpp"
#include "support/LoopbackService.hpp"

namespace talvaren::testkit {

class ServiceFixture : public ConnectorFixture {
 protected:
  static constexpr const char* email = "ann@example.test";
  static constexpr const char* password = "s3cret";

  explicit ServiceFixture(LoopbackService::Options options = {}) : service(options) {
    routeHttpHost(host, "127.0.0.1", service.port());
    pk = service.addUser(email, password, "Ann");
  }

  Connector& client() { return *Connector::sharedInstance(); }

  /// Logs in with the token scheme and waits for it.
  void login() {
    auto [record, completion] = recorder();
    client().postLoginUser({{"email", email}, {"password", password}}, completion);
    waitFor(record);
    ASSERT_FALSE(record->error) << record->error->description();
  }

  /// Starts an operation with a recording completion and waits for it.
  template <class Operation>
  std::shared_ptr<CompletionRecord> run(Operation operation) {
    auto [record, completion] = recorder();
    operation(completion);
    waitFor(record);
    return record;
  }

  std::vector<RecordedRequest> requests() { return service.server().requests(); }
  RecordedRequest lastRequest() {
    auto all = requests();
    return all.empty() ? RecordedRequest{} : all.back();
  }

  bool logged(const std::string& line) const {
    const auto lines = console.lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  LoopbackService service;
  std::int64_t pk = 0;
};

}  // namespace talvaren::testkit
