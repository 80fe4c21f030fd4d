#pragma once
// What the kit's record classes share.
//
// A record is a value type of public std::optional members, with
//   static std::optional<R> fromJSON(const JSON&)   the failable JSON reader (talvaren/platform/Json.hpp):
//                                                   no record for a non-object, otherwise as the record says
//   std::optional<JSON> toJSON() const              the JSON writer: Json::jsonify of one Json::write piece
//                                                   per written key; absent values give no entry
//   std::string description() const                 where the record has a text form
//                                                   (talvaren/records/RecordDescription.hpp)
//
// Date texts. A `created`, `modified` or `timestamp` text drives a seconds-since-1970 companion
// (`createdTimestamp`, ...). The text is private behind a getter and a setter; the setter calls
// `setDateText`, which stores the text and updates the companion only when the new text is present
// and parses as a server time stamp. Setting the companion (a public member) never touches the text. Constructors and
// readers never run the setter: a JSON reader stores the text directly and then sets the companion to
// `secondsFromTimestampText` of it (absent when the text is absent or unparsable).
//
// Ordering. A record ordered on one value derives from record::Ordered<R> and offers a public
// `orderingValue()` giving that optional value. `<`, `>` and `==` are false when either side lacks it,
// so `<=`, `>=` and `!=` are true then: this is no strict weak order, so never hand such records to
// std::sort or an ordered container without a projection (for example `record::sortKey`).

#include <cmath>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "talvaren/platform/Json.hpp"

namespace talvaren::record {

/// Seconds since 1970 of a server time stamp text ("yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ"), or absent when
/// the text is absent or does not parse.
std::optional<double> secondsFromTimestampText(const std::optional<std::string>& text);

/// The date derivation run after a date text is assigned outside a constructor: when `text` is present
/// and parses, `companion` takes its seconds; otherwise `companion` keeps its value.
void deriveCompanion(const std::optional<std::string>& text, std::optional<double>& companion);

/// A date text's setter: stores `value` in `text`, then runs the date derivation into `companion`.
void setDateText(std::optional<std::string>& text, std::optional<std::string> value, std::optional<double>& companion);

/// The server's "created" and "timestamp" texts with their seconds companions, for the records that carry
/// them (see "Date texts" above).
class ServerDates {
 public:
  /// `created` as seconds since 1970; setting it leaves `created` as it is.
  std::optional<double> createdTimestamp;
  /// `timestamp` as seconds since 1970; setting it leaves `timestamp` as it is.
  std::optional<double> timestampTimestamp;

  /// The server's creation time stamp; setting a parsable one updates `createdTimestamp`.
  const std::optional<std::string>& created() const { return created_; }
  void setCreated(std::optional<std::string> created) { setDateText(created_, std::move(created), createdTimestamp); }
  /// The server's time stamp; setting a parsable one updates `timestampTimestamp`.
  const std::optional<std::string>& timestamp() const { return timestamp_; }
  void setTimestamp(std::optional<std::string> timestamp) {
    setDateText(timestamp_, std::move(timestamp), timestampTimestamp);
  }

 protected:
  ServerDates() = default;
  /// A JSON reader's part: stores "created" and "timestamp" and sets both companions from them.
  void readServerDates(const JSON& json);

  std::optional<std::string> created_;
  std::optional<std::string> timestamp_;
};

/// ServerDates and the server's "modified" text with its companion.
class ServerDatesWithModified : public ServerDates {
 public:
  /// `modified` as seconds since 1970; setting it leaves `modified` as it is.
  std::optional<double> modifiedTimestamp;

  /// Setting a parsable one updates `modifiedTimestamp`.
  const std::optional<std::string>& modified() const { return modified_; }
  void setModified(std::optional<std::string> modified) {
    setDateText(modified_, std::move(modified), modifiedTimestamp);
  }

 protected:
  ServerDatesWithModified() = default;
  /// A JSON reader's part: stores "modified" and sets its companion from it.
  void readModified(const JSON& json);

  std::optional<std::string> modified_;
};

/// The six comparisons of a record ordered on `R::orderingValue()`, written out by hand.
template <class R>
class Ordered {
 public:
  friend bool operator<(const R& a, const R& b) {
    auto x = a.orderingValue();
    auto y = b.orderingValue();
    return x && y && *x < *y;
  }
  friend bool operator==(const R& a, const R& b) {
    auto x = a.orderingValue();
    auto y = b.orderingValue();
    return x && y && *x == *y;
  }
  friend bool operator>(const R& a, const R& b) { return b < a; }
  friend bool operator<=(const R& a, const R& b) { return !(b < a); }
  friend bool operator>=(const R& a, const R& b) { return !(a < b); }
  friend bool operator!=(const R& a, const R& b) { return !(a == b); }

 protected:
  Ordered() = default;
};

/// A projection for sorting ordered records: records without the value sort first, then by value.
/// A NaN value (which a host or an archive may put in a seconds companion) sorts with the absent
/// ones, so the keys always form a strict weak order.
template <class R>
auto sortKey(const R& record) {
  auto value = record.orderingValue();
  using Value = typename decltype(value)::value_type;
  bool usable = value.has_value();
  if constexpr (std::is_floating_point_v<Value>) usable = usable && !std::isnan(*value);
  return std::pair(usable, usable ? *value : Value{});
}

}  // namespace talvaren::record
