// Heart-rate samples: single requests, the paged range download and the bulk upload.

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <mutex>

#include "api/EndpointCall.hpp"
#include "api/HeartrateBody.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/utilities/ArrayExtensions.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

using namespace platform::http;
using talvaren::detail::callEndpoint;

namespace {

constexpr const char* parseFailure = "Failed to parse heartrate data to json!";

/// One download's own list of samples.
using Gathered = std::shared_ptr<std::vector<HeartrateSDK>>;

/// `heartrateData`: the list of the download that last received a page (shared, not copied, so that a
/// page costs only its own samples). Every change of a list it may name is made under the mutex.
struct Accumulator {
  std::mutex mutex;
  Gathered samples = std::make_shared<std::vector<HeartrateSDK>>();
};

Accumulator& accumulator() {
  static auto& shared = *new Accumulator();
  return shared;
}

/// Where the upload text goes: first a pass that only counts its bytes, then one that writes them into a
/// body of exactly that size (no tree of the samples and no second copy of the text is ever held).
struct CountingSink {
  std::size_t size = 0;
  void put(char) { ++size; }
  void put(std::string_view text) { size += text.size(); }
};

struct WritingSink {
  std::uint8_t* next;
  void put(char c) { *next++ = static_cast<std::uint8_t>(c); }
  void put(std::string_view text) {
    std::memcpy(next, text.data(), text.size());
    next += text.size();
  }
};

template <class Sink>
void putInteger(Sink& sink, std::int64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  sink.put(std::string_view(text, static_cast<std::size_t>(end - text)));
}

/// A text as the JSON library writes it in the compact form (UTF-8 kept, invalid bytes as U+FFFD).
template <class Sink>
void putText(Sink& sink, const std::string& text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
  });
  if (plain) {
    sink.put('"');
    sink.put(text);
    sink.put('"');
  } else {
    sink.put(nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
}

/// The object `toJSON` gives for `sample`, as the JSON library writes it: its present members in the
/// order of their keys.
template <class Sink>
void putSample(Sink& sink, const HeartrateSDK& sample) {
  bool first = true;
  const auto key = [&](std::string_view name) {
    sink.put(first ? "{\"" : ",\"");
    sink.put(name);
    sink.put("\":");
    first = false;
  };
  if (sample.timestamp()) {
    key("timestamp");
    putInteger(sink, *sample.timestamp());
  }
  if (sample.value()) {
    key("value");
    putInteger(sink, *sample.value());
  }
  if (sample.workoutId) {
    key("workout");
    putText(sink, *sample.workoutId);
  }
  sink.put(first ? "{}" : "}");
}

template <class Sink>
void putArray(Sink& sink, const std::vector<HeartrateSDK>& heartrates) {
  sink.put('[');
  for (std::size_t i = 0; i < heartrates.size(); ++i) {
    if (i > 0) sink.put(',');
    putSample(sink, heartrates[i]);
  }
  sink.put(']');
}

std::string errorText(const std::optional<Error>& error) { return error ? error->description() : "nil"; }

std::string replyText(const std::optional<ServerReply>& reply) {
  const auto* json = reply ? reply->json() : nullptr;
  return json ? dictionaryDescription(redact::reply(*json)) : "nil";
}

/// The samples of one page's "results", or none when any element is no sample.
std::optional<std::vector<HeartrateSDK>> decodePage(const std::optional<ServerReply>& reply) {
  const auto* json = reply ? reply->json() : nullptr;
  if (!json || !json->is_object()) return std::nullopt;
  const auto results = json->find("results");
  if (results == json->end() || !results->is_array()) return std::nullopt;
  std::vector<HeartrateSDK> samples;
  samples.reserve(results->size());
  for (const auto& element : *results) {
    if (!element.is_object()) return std::nullopt;
    auto sample = HeartrateSDK::fromJSON(element);
    if (!sample) return std::nullopt;
    samples.push_back(std::move(*sample));
  }
  return samples;
}

bool hasNextPage(const std::optional<ServerReply>& reply) {
  const auto* json = reply ? reply->json() : nullptr;
  if (!json || !json->is_object()) return false;
  const auto next = json->find("next");
  return next != json->end() && next->is_string();
}

/// Asks for one page; `keep` holds the client until the download ends (none for a client not owned by a
/// shared pointer, which must then outlive the download).
void fetchPage(std::shared_ptr<Connector> keep, Connector& connector, std::int64_t start, std::int64_t end,
               std::int64_t page, Gathered gathered, Connector::Completion completion) {
  const std::string url = Connector::heartrateEndPoint() + "?timestamp__gte=" + std::to_string(start) +
                          "&timestamp__lte=" + std::to_string(end) + "&page=" + std::to_string(page);
  callEndpoint(connector, HTTPMethod::GET, url, std::nullopt,
               [keep, target = &connector, start, end, page, gathered, completion](std::optional<Error> error,
                                                                                   std::optional<ServerReply> reply) {
                 const auto finish = [&](std::optional<Error> outcome) {
                   if (completion) completion(std::move(outcome), ServerReply(*gathered));
                 };
                 if (error) return finish(std::move(error));
                 auto samples = decodePage(reply);
                 if (!samples) {
                   console::print("Decoding heartrate error");
                   return finish(target->genericApiError(-1));
                 }
                 {
                   auto& shared = accumulator();
                   std::lock_guard lock(shared.mutex);
                   gathered->insert(gathered->end(), std::make_move_iterator(samples->begin()),
                                    std::make_move_iterator(samples->end()));
                   shared.samples = gathered;
                 }
                 if (!hasNextPage(reply)) return finish(std::nullopt);
                 if (page == std::numeric_limits<std::int64_t>::max()) {
                   // No page after this one can be asked for: the download is incomplete.
                   return finish(target->genericApiError(-1));
                 }
                 fetchPage(keep, *target, start, end, page + 1, gathered, completion);
               });
}

}  // namespace

Bytes talvaren::detail::heartrateArrayBody(const std::vector<HeartrateSDK>& heartrates) {
  CountingSink counter;
  putArray(counter, heartrates);
  Bytes body(counter.size);
  WritingSink writer{body.data()};
  putArray(writer, heartrates);
  return body;
}

std::string Connector::heartrateEndPoint() { return talvaren::detail::endpointText<"heartrate/">(); }

std::vector<HeartrateSDK> Connector::heartrateData() {
  auto& shared = accumulator();
  std::lock_guard lock(shared.mutex);
  return *shared.samples;
}

void Connector::setHeartrateData(std::vector<HeartrateSDK> samples) {
  auto& shared = accumulator();
  auto list = std::make_shared<std::vector<HeartrateSDK>>(std::move(samples));
  std::lock_guard lock(shared.mutex);
  shared.samples = std::move(list);
}

void Connector::getManyHeartrate(Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, heartrateEndPoint(), std::nullopt, std::move(completion));
}

void Connector::getHeartrate(const std::string& timestamp, Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, heartrateEndPoint() + escapePathSegment(timestamp) + "/", std::nullopt,
               std::move(completion));
}

void Connector::getHeartrate(std::int64_t startTimestamp, std::int64_t endTimestamp, std::int64_t page,
                             Completion completion) {
  auto gathered = std::make_shared<std::vector<HeartrateSDK>>();
  if (page == 1) {
    // Emptied in turn with the replies, which all run on the main queue.
    platform::DispatchQueue::main().async([] { setHeartrateData({}); });
  } else {
    *gathered = heartrateData();
  }
  fetchPage(weak_from_this().lock(), *this, startTimestamp, endTimestamp, page, std::move(gathered),
            std::move(completion));
}

void Connector::postHeartrate(const HeartrateSDK& heartrate, Completion completion) {
  const auto json = heartrate.toJSON();
  if (!json) return console::print(parseFailure);
  callEndpoint(*this, HTTPMethod::POST, heartrateEndPoint(), *json, std::move(completion));
}

void Connector::putHeartrate(const HeartrateSDK& heartrate, Completion completion) {
  const auto& timestamp = heartrate.timestamp();
  const auto json = heartrate.toJSON();
  if (!timestamp || !json) return console::print(parseFailure);
  callEndpoint(*this, HTTPMethod::PUT, heartrateEndPoint() + std::to_string(*timestamp) + "/", *json,
               std::move(completion));
}

void Connector::postHeartrates(const std::vector<HeartrateSDK>& heartrates, Completion completion) {
  if (heartrates.empty()) return;
  // The samples stay with the reply handler only while a refusal could still make chunks of them.
  auto samples = std::make_shared<const std::vector<HeartrateSDK>>(heartrates);
  std::weak_ptr<Connector> client = weak_from_this();
  callEndpoint(
      *this, HTTPMethod::POST, heartrateEndPoint(), nlohmann::json::object(),
      [client, samples, completion](std::optional<Error> error, std::optional<ServerReply> reply) {
        console::print(error ? error->description() : "error is nil");
        console::print(reply ? replyText(reply) : "data is nil");
        if (error && error->localizedDescription().find(tooLargeBodyRefusal) != std::string::npos) {
          for (const auto& chunk : chunks(*samples, heartrateChunkSize)) {
            const auto owner = client.lock();
            if (!owner) return;
            owner->postHeartratesReduce(chunk, completion);
          }
          return;
        }
        if (completion) completion(std::move(error), std::move(reply));
      },
      talvaren::detail::heartrateArrayBody(*samples));
}

void Connector::postHeartratesReduce(const std::vector<HeartrateSDK>& heartrates, Completion completion) {
  if (heartrates.empty()) return;
  callEndpoint(
      *this, HTTPMethod::POST, heartrateEndPoint(), nlohmann::json::object(),
      [completion](std::optional<Error> error, std::optional<ServerReply> reply) {
        console::print("postHeartratesReduce " + errorText(error));
        console::print("postHeartratesReduce " + replyText(reply));
        if (completion) completion(std::move(error), std::move(reply));
      },
      talvaren::detail::heartrateArrayBody(heartrates));
}

}  // namespace talvaren
