#pragma once
// A scripted HTTP server on 127.0.0.1 for tests and benchmarks.
//
//   testkit::LoopbackServer server;                        // listening on an ephemeral port at once
//   server.reply("GET", "/items", 200, R"({"a":1})");
//   server.on("POST", "/slow", [&](const httplib::Request&, httplib::Response& res) {
//     server.waitForStop(std::chrono::seconds(5));          // hang until the test ends
//   });
//   ... requests to server.url("/items") ...
//   server.requests();                                     // everything received, in order
//
// Routes match the method and the exact path (the query is ignored); a later script for a route
// replaces the earlier one; unscripted routes answer 404. Scripts may change while the server runs.
// The server stops when destroyed (or by stop()), within milliseconds, even while clients keep idle
// keep-alive connections open or handlers are blocked in waitForStop(). It serves 16 connections at
// once (an idle keep-alive connection holds one of them) and queues bursts of new ones without delay.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace talvaren::testkit {

struct RecordedRequest {
  std::string method;
  std::string path;
  /// Path and query as they arrived on the request line.
  std::string target;
  httplib::Headers headers;
  std::string body;
  /// The client's port: one per TCP connection.
  int remotePort = -1;

  bool hasHeader(const std::string& name) const { return headers.find(name) != headers.end(); }
  /// The first value of a header field (names compare without regard to case), or "".
  std::string header(const std::string& name) const;
  /// How many times a header field arrived.
  std::size_t headerCount(const std::string& name) const { return headers.count(name); }
};

class LoopbackServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  enum class Transport {
    plain,
    /// TLS with a freshly made self-signed certificate, which no client trusts.
    untrustedTLS,
  };

  explicit LoopbackServer(Transport transport = Transport::plain);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  /// "http://127.0.0.1:<port>" (or https) followed by `pathAndQuery`.
  std::string url(std::string_view pathAndQuery = "/") const;

  void on(const std::string& method, const std::string& path, Handler handler);
  /// Answers every request that no route matches (instead of 404), e.g. paths that carry identifiers.
  void otherwise(Handler handler);
  /// Scripts a fixed reply.
  void reply(const std::string& method, const std::string& path, int status, std::string body,
             std::string contentType = "application/json");

  /// Whether requests are kept for requests() (on at first; large benchmarks turn it off).
  void setRecording(bool record);
  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  /// TCP connections accepted so far.
  std::size_t connectionsAccepted() const;

  /// For handlers that must hang: blocks until the server stops or `limit` passes; true when stopping.
  bool waitForStop(std::chrono::milliseconds limit) const;
  /// Stops listening, releases hanging handlers, closes open connections and joins every thread.
  void stop();
  /// Closes the server's side of every open connection now, as a server ending idle keep-alive
  /// connections does.
  void closeAcceptedConnections() const;

 private:
  class CountingQueue;
  void dispatch(const httplib::Request& request, httplib::Response& response);
  void widenListenBacklog() const;

  std::unique_ptr<httplib::Server> server_;
  std::string scheme_ = "http";
  int port_ = -1;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable stopped_;
  bool stopping_ = false;
  bool listenerDone_ = false;
  std::map<std::pair<std::string, std::string>, Handler> routes_;
  Handler otherwise_;
  bool recording_ = true;
  std::vector<RecordedRequest> requests_;
  std::size_t connections_ = 0;
};

}  // namespace talvaren::testkit
