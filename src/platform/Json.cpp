#include "talvaren/platform/Json.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

namespace talvaren::platform::Json {

std::optional<std::string> asText(const JSON& value) {
  if (!value.is_string()) return std::nullopt;
  return value.get_ref<const JSON::string_t&>();
}

std::optional<std::int64_t> asInteger(const JSON& value) {
  if (value.is_number_unsigned()) {
    auto number = value.get<JSON::number_unsigned_t>();
    if (number > static_cast<JSON::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_integer()) return value.get<JSON::number_integer_t>();
  if (value.is_number_float()) {
    double number = value.get<JSON::number_float_t>();
    // The range of int64 is [-2^63, 2^63); both bounds are exact doubles.
    constexpr double lowest = -9223372036854775808.0;
    constexpr double beyond = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number < lowest || number >= beyond) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

std::optional<double> asDouble(const JSON& value) {
  if (value.is_number_float()) {
    double number = value.get<JSON::number_float_t>();
    if (!std::isfinite(number)) return std::nullopt;
    return number;
  }
  if (value.is_number_unsigned()) return static_cast<double>(value.get<JSON::number_unsigned_t>());
  if (value.is_number_integer()) return static_cast<double>(value.get<JSON::number_integer_t>());
  return std::nullopt;
}

std::optional<bool> asBoolean(const JSON& value) {
  if (!value.is_boolean()) return std::nullopt;
  return value.get<bool>();
}

const JSON* member(const JSON& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto& entries = object.get_ref<const JSON::object_t&>();
  auto found = entries.find(key);
  return found == entries.end() ? nullptr : &found->second;
}

namespace {

/// Builds the tree as the library's own parser does, refusing (by ending the parse) a list or object that
/// opens deeper than `maximumDepth`.
class DepthLimitedBuilder : public nlohmann::detail::json_sax_dom_parser<JSON> {
  using Builder = nlohmann::detail::json_sax_dom_parser<JSON>;

 public:
  explicit DepthLimitedBuilder(JSON& root) : Builder(root, /*allow_exceptions_=*/false) {}

  bool start_object(std::size_t length) { return ++depth_ <= maximumDepth && Builder::start_object(length); }
  bool end_object() {
    --depth_;
    return Builder::end_object();
  }
  bool start_array(std::size_t length) { return ++depth_ <= maximumDepth && Builder::start_array(length); }
  bool end_array() {
    --depth_;
    return Builder::end_array();
  }

 private:
  std::size_t depth_ = 0;
};

/// Hands the elements of a top-level array to a callback one by one, each built by its own builder.
class ArrayElementReader {
 public:
  explicit ArrayElementReader(const std::function<bool(const JSON&)>& element) : element_(element) {}

  bool null() { return builder_ ? builder_->null() : plain(JSON(nullptr)); }
  bool boolean(bool value) { return builder_ ? builder_->boolean(value) : plain(JSON(value)); }
  bool number_integer(JSON::number_integer_t value) {
    return builder_ ? builder_->number_integer(value) : plain(JSON(value));
  }
  bool number_unsigned(JSON::number_unsigned_t value) {
    return builder_ ? builder_->number_unsigned(value) : plain(JSON(value));
  }
  bool number_float(JSON::number_float_t value, const JSON::string_t& text) {
    return builder_ ? builder_->number_float(value, text) : plain(JSON(value));
  }
  bool string(JSON::string_t& value) { return builder_ ? builder_->string(value) : plain(JSON(std::move(value))); }
  bool binary(JSON::binary_t& value) {
    return builder_ ? builder_->binary(value) : plain(JSON::binary(std::move(value)));
  }
  bool key(JSON::string_t& value) { return builder_ && builder_->key(value); }

  bool start_object(std::size_t length) {
    if (depth_ == 0) return false;  // the text is no array
    return open() && builder_->start_object(length);
  }
  bool end_object() { return builder_->end_object() && close(); }
  bool start_array(std::size_t length) {
    if (depth_ == 0) {
      depth_ = 1;
      return true;
    }
    return open() && builder_->start_array(length);
  }
  bool end_array() {
    if (depth_ == 1) {
      depth_ = 0;
      return true;
    }
    return builder_->end_array() && close();
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

 private:
  /// An element that is a plain value (none can stand outside the array).
  bool plain(const JSON& value) { return depth_ == 1 && element_(value); }

  /// A list or object opens: the first opens an element.
  bool open() {
    if (++depth_ > maximumDepth) return false;
    if (depth_ == 2) {
      element_value_ = JSON();
      builder_.emplace(element_value_, /*allow_exceptions_=*/false);
    }
    return true;
  }

  /// A list or object closed: the element is complete when it was the element itself.
  bool close() {
    if (--depth_ > 1) return true;
    builder_.reset();
    return element_(element_value_);
  }

  const std::function<bool(const JSON&)>& element_;
  std::size_t depth_ = 0;
  JSON element_value_;
  std::optional<nlohmann::detail::json_sax_dom_parser<JSON>> builder_;
};

}  // namespace

bool detail::forEachArrayElement(std::string_view text, const std::function<bool(const JSON&)>& element) {
  try {
    ArrayElementReader reader(element);
    return JSON::sax_parse(text.begin(), text.end(), &reader);
  } catch (const std::exception&) {
    return false;
  }
}

bool detail::appendDump(const JSON& value, std::string& text) {
  try {
    nlohmann::detail::serializer<JSON> writer(nlohmann::detail::output_adapter<char>(text), ' ',
                                              JSON::error_handler_t::replace);
    writer.dump(value, false, false, 0);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

JSON jsonify(std::vector<std::optional<Piece>> pieces) {
  JSON result = JSON::object();
  auto& entries = result.get_ref<JSON::object_t&>();
  for (auto& piece : pieces) {
    if (piece) entries.insert_or_assign(std::move(piece->key), std::move(piece->value));
  }
  return result;
}

std::optional<JSON> parse(std::string_view text) {
  try {
    JSON value;
    DepthLimitedBuilder builder(value);
    if (!JSON::sax_parse(text.begin(), text.end(), &builder) || builder.is_errored()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool nestedWithin(const JSON& value, std::size_t limit) {
  if (!value.is_structured()) return true;
  // Each entry: a container and the level it stands at (1 for the top).
  std::vector<std::pair<const JSON*, std::size_t>> pending{{&value, 1}};
  while (!pending.empty()) {
    const auto [container, level] = pending.back();
    pending.pop_back();
    if (level > limit) return false;
    for (const auto& element : *container) {
      if (element.is_structured()) pending.emplace_back(&element, level + 1);
    }
  }
  return true;
}

std::string dump(const JSON& value, int indent) {
  try {
    return value.dump(indent, ' ', /*ensure_ascii=*/false, JSON::error_handler_t::replace);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace talvaren::platform::Json
