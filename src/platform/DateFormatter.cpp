#include "talvaren/platform/DateFormatter.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/CalendarDetail.hpp"
#include "platform/DateFormatterLocales.hpp"

namespace talvaren::platform {
namespace {

using detail::LanguageNames;
using detail::LocalTime;

/// One element of a pattern: a field (a run of one letter) or literal text.
struct Token {
  char letter = 0;  // 0 for literal text
  int count = 0;
  std::string literal;
};

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isFieldLetter(char c) { return std::string_view("yMdHhmsSaZE").find(c) != std::string_view::npos; }

std::vector<Token> tokenize(std::string_view pattern) {
  std::vector<Token> tokens;
  auto appendLiteral = [&](std::string_view text) {
    if (tokens.empty() || tokens.back().letter != 0) tokens.push_back(Token{});
    tokens.back().literal += text;
  };
  std::size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        appendLiteral("'");
        i += 2;
        continue;
      }
      // Quoted text up to the closing quote ('' inside stands for one quote); an unclosed quote runs
      // to the end of the pattern.
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            appendLiteral("'");
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        appendLiteral(pattern.substr(i, 1));
        ++i;
      }
      continue;
    }
    if (isAsciiLetter(c)) {
      std::size_t end = i;
      while (end < pattern.size() && pattern[end] == c) ++end;
      if (isFieldLetter(c)) {
        tokens.push_back(Token{c, static_cast<int>(end - i), {}});
      } else {
        appendLiteral(pattern.substr(i, end - i));
      }
      i = end;
      continue;
    }
    appendLiteral(pattern.substr(i, 1));
    ++i;
  }
  return tokens;
}

bool isNumberField(const Token& token) {
  switch (token.letter) {
    case 'y':
    case 'd':
    case 'H':
    case 'h':
    case 'm':
    case 's':
    case 'S':
      return true;
    case 'M':
      return token.count <= 2;
    default:
      return false;
  }
}

void appendNumber(std::string& out, std::int64_t value, int width) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  auto length = static_cast<int>(result.ptr - buffer);
  for (int i = length; i < width; ++i) out += '0';
  out.append(buffer, result.ptr);
}

void appendOffset(std::string& out, std::int64_t offset, int count) {
  if (offset == 0 && count == 4) {
    out += "GMT";
    return;
  }
  if (offset == 0 && count >= 5) {
    out += 'Z';
    return;
  }
  if (count == 4) out += "GMT";
  out += offset < 0 ? '-' : '+';
  std::int64_t magnitude = offset < 0 ? -offset : offset;
  appendNumber(out, magnitude / 3600, 2);
  if (count >= 4) out += ':';
  appendNumber(out, magnitude / 60 % 60, 2);
  // Local mean time before standard zones had offsets in seconds: written only when present.
  if (magnitude % 60 != 0) {
    if (count >= 4) out += ':';
    appendNumber(out, magnitude % 60, 2);
  }
}

std::int64_t yearOfEra(std::int64_t year) { return year > 0 ? year : 1 - year; }

void appendField(std::string& out, const Token& token, const LocalTime& t, const LanguageNames& names,
                 const DateFormatter& formatter) {
  int n = token.count;
  switch (token.letter) {
    case 'y':
      if (n == 2) {
        appendNumber(out, yearOfEra(t.year) % 100, 2);
      } else {
        appendNumber(out, yearOfEra(t.year), n);
      }
      break;
    case 'M':
      if (n >= 4) {
        out += names.months[static_cast<std::size_t>(t.month - 1)];
      } else if (n == 3) {
        out += names.shortMonths[static_cast<std::size_t>(t.month - 1)];
      } else {
        appendNumber(out, t.month, n);
      }
      break;
    case 'd': appendNumber(out, t.day, n); break;
    case 'H': appendNumber(out, t.hour, n); break;
    case 'h': appendNumber(out, t.hour % 12 == 0 ? 12 : t.hour % 12, n); break;
    case 'm': appendNumber(out, t.minute, n); break;
    case 's': appendNumber(out, t.second, n); break;
    case 'S': {
      // The fraction is known to the microsecond; further digits are zeros.
      std::string digits;
      appendNumber(digits, t.micro, 6);
      if (n <= 6) {
        out += digits.substr(0, static_cast<std::size_t>(n));
      } else {
        out += digits;
        out.append(static_cast<std::size_t>(n - 6), '0');
      }
      break;
    }
    case 'a': out += t.hour < 12 ? formatter.amSymbol() : formatter.pmSymbol(); break;
    case 'Z': appendOffset(out, t.offset, n); break;
    case 'E':
      out += n >= 4 ? names.weekdays[static_cast<std::size_t>(t.weekday - 1)]
                    : names.shortWeekdays[static_cast<std::size_t>(t.weekday - 1)];
      break;
    default: break;
  }
}

/// What a parse has read so far.
struct Fields {
  std::optional<std::int64_t> year;
  bool twoDigitYear = false;
  std::optional<std::int64_t> month;
  std::optional<std::int64_t> day;
  std::optional<std::int64_t> hour24;
  std::optional<std::int64_t> hour12;
  std::optional<std::int64_t> minute;
  std::optional<std::int64_t> second;
  std::int64_t micro = 0;
  std::optional<bool> pm;
  std::optional<std::int64_t> offset;
};

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ == text_.size(); }

  bool literal(std::string_view expected) {
    if (text_.substr(pos_, expected.size()) != expected) return false;
    pos_ += expected.size();
    return true;
  }

  /// One to `maxDigits` ASCII digits; with `exact`, exactly `maxDigits`. A value too large for the
  /// integer reads as its largest value, beyond every field's range.
  std::optional<std::int64_t> number(std::size_t maxDigits, bool exact, std::size_t* digitCount = nullptr) {
    auto digits = digitRun(maxDigits, exact);
    if (!digits) return std::nullopt;
    if (digitCount) *digitCount = digits->size();
    return valueOf(*digits);
  }

  /// A fraction of one to `maxDigits` digits (exactly `maxDigits` with `exact`) in microseconds;
  /// digits past the sixth are dropped.
  std::optional<std::int64_t> fraction(std::size_t maxDigits, bool exact) {
    auto digits = digitRun(maxDigits, exact);
    if (!digits) return std::nullopt;
    std::int64_t micro = valueOf(digits->substr(0, 6));
    for (std::size_t i = digits->size(); i < 6; ++i) micro *= 10;
    return micro;
  }

  /// The index of the longest of `candidates` that the text continues with, ignoring case.
  std::optional<std::size_t> oneOf(const std::vector<std::string_view>& candidates) {
    std::optional<std::size_t> best;
    std::size_t bestLength = 0;
    std::size_t longest = 0;
    for (auto candidate : candidates) longest = std::max(longest, candidate.size());
    std::string rest = detail::foldCase(text_.substr(pos_, longest));
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      std::string folded = detail::foldCase(candidates[i]);
      if (folded.empty() || folded.size() <= bestLength) continue;
      if (rest.compare(0, folded.size(), folded) == 0) {
        best = i;
        bestLength = folded.size();
      }
    }
    // Folding keeps byte lengths, so the folded length is the length in the text.
    if (best) pos_ += bestLength;
    return best;
  }

  /// "+0100", "-05:00", "+01", "-045602", "Z", "GMT", "GMT+01:00", "UTC-0500".
  std::optional<std::int64_t> offset() {
    if (literal("Z")) return 0;
    bool named = literal("GMT") || literal("UTC");
    if (pos_ >= text_.size() || (text_[pos_] != '+' && text_[pos_] != '-')) {
      if (named) return 0;
      return std::nullopt;
    }
    std::int64_t sign = text_[pos_] == '-' ? -1 : 1;
    ++pos_;
    auto hours = number(2, true);
    if (!hours) return std::nullopt;
    // Minutes, then seconds, two digits each, all after colons or none.
    auto digitNext = [&] { return pos_ < text_.size() && isDigit(text_[pos_]); };
    std::int64_t minutes = 0;
    std::int64_t seconds = 0;
    bool colon = literal(":");
    if (colon || digitNext()) {
      auto m = number(2, true);
      if (!m || *m > 59) return std::nullopt;
      minutes = *m;
      if (colon ? literal(":") : digitNext()) {
        auto sec = number(2, true);
        if (!sec || *sec > 59) return std::nullopt;
        seconds = *sec;
      }
    }
    if (*hours > 23) return std::nullopt;
    return sign * (*hours * 3600 + minutes * 60 + seconds);
  }

 private:
  std::optional<std::string_view> digitRun(std::size_t maxDigits, bool exact) {
    std::size_t start = pos_;
    while (pos_ < text_.size() && pos_ - start < maxDigits && isDigit(text_[pos_])) ++pos_;
    std::size_t count = pos_ - start;
    if (count == 0 || (exact && count != maxDigits)) return std::nullopt;
    return text_.substr(start, count);
  }

  static std::int64_t valueOf(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    // Eighteen digits always fit; no field needs more.
    if (digits.size() > 18) return std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

std::vector<std::string_view> namesOf(const auto& full, const auto& abbreviated) {
  std::vector<std::string_view> all(full.begin(), full.end());
  all.insert(all.end(), abbreviated.begin(), abbreviated.end());
  return all;
}

bool readField(Reader& reader, const Token& token, bool numberFollows, const LanguageNames& names,
               const DateFormatter& formatter, Fields& fields) {
  // Adjacent number fields cannot be told apart by their digits: each takes as many as its letters.
  constexpr std::size_t kMostDigits = 10;
  auto width = static_cast<std::size_t>(token.count);
  std::size_t maxDigits = numberFollows ? width : kMostDigits;
  switch (token.letter) {
    case 'y': {
      std::size_t digits = 0;
      fields.year = reader.number(maxDigits, numberFollows, &digits);
      fields.twoDigitYear = token.count == 2 && digits == 2;
      return fields.year.has_value();
    }
    case 'M':
      if (token.count >= 3) {
        auto index = reader.oneOf(namesOf(names.months, names.shortMonths));
        if (!index) return false;
        fields.month = static_cast<std::int64_t>(*index % 12) + 1;
        return true;
      }
      return (fields.month = reader.number(maxDigits, numberFollows)).has_value();
    case 'd': return (fields.day = reader.number(maxDigits, numberFollows)).has_value();
    case 'H': return (fields.hour24 = reader.number(maxDigits, numberFollows)).has_value();
    case 'h': return (fields.hour12 = reader.number(maxDigits, numberFollows)).has_value();
    case 'm': return (fields.minute = reader.number(maxDigits, numberFollows)).has_value();
    case 's': return (fields.second = reader.number(maxDigits, numberFollows)).has_value();
    case 'S': {
      auto micro = reader.fraction(numberFollows ? width : 9, numberFollows);
      if (!micro) return false;
      fields.micro = *micro;
      return true;
    }
    case 'a': {
      auto index = reader.oneOf({formatter.amSymbol(), formatter.pmSymbol()});
      if (!index) return false;
      fields.pm = *index == 1;
      return true;
    }
    case 'Z': return (fields.offset = reader.offset()).has_value();
    case 'E': return reader.oneOf(namesOf(names.weekdays, names.shortWeekdays)).has_value();
    default: return false;
  }
}

bool inBounds(const std::optional<std::int64_t>& value, std::int64_t lowest, std::int64_t highest) {
  return !value || (*value >= lowest && *value <= highest);
}

/// A two-digit year is taken within the 80 years before and the 20 years after the current one.
std::int64_t windowedYear(std::int64_t twoDigits, const detail::ZoneData& zone) {
  auto now = detail::clampInstant(Date::now().timeIntervalSince1970());
  std::int64_t start = detail::localTime(zone, now).year - 80;
  std::int64_t year = start - detail::floorMod(start, 100) + twoDigits;
  return year < start ? year + 100 : year;
}

std::optional<Date> compose(Fields& f, const detail::ZoneData& zone) {
  if (f.year && f.twoDigitYear) f.year = windowedYear(*f.year, zone);
  std::int64_t year = f.year.value_or(1970);
  if (year < 1 || year > 9999 || !inBounds(f.month, 1, 12)) return std::nullopt;
  std::int64_t month = f.month.value_or(1);
  if (!inBounds(f.day, 1, detail::daysInMonth(year, month))) return std::nullopt;
  if (!inBounds(f.hour24, 0, 23) || !inBounds(f.hour12, 0, 12) || !inBounds(f.minute, 0, 59) ||
      !inBounds(f.second, 0, 59)) {
    return std::nullopt;
  }
  std::int64_t hour = 0;
  if (f.hour24) {
    hour = *f.hour24;
  } else if (f.hour12) {
    hour = *f.hour12 % 12 + (f.pm.value_or(false) ? 12 : 0);
  } else if (f.pm.value_or(false)) {
    hour = 12;
  }
  std::int64_t local = detail::daysFromCivil(year, month, f.day.value_or(1)) * 86400 + hour * 3600 +
                       f.minute.value_or(0) * 60 + f.second.value_or(0);
  std::int64_t second = f.offset ? local - *f.offset : zone.instantOf(local);
  if (!detail::inRange(second)) return std::nullopt;
  return Date(detail::joinInstant(second, f.micro));
}

}  // namespace

DateFormatter::DateFormatter() : timeZone_(TimeZone::current()), locale_(Locale::current()) {}

std::string DateFormatter::dateFormat() const {
  if (dateStyle_ == Style::full) return std::string(detail::namesFor(locale_).fullDatePattern);
  return pattern_;
}

void DateFormatter::setDateFormat(std::string pattern) {
  pattern_ = std::move(pattern);
  dateStyle_ = Style::none;
}

std::string DateFormatter::string(const Date& date) const {
  const auto& names = detail::namesFor(locale_);
  LocalTime local = detail::localTime(timeZone_.data(), detail::clampInstant(date.timeIntervalSince1970()));
  std::string out;
  for (const Token& token : tokenize(dateFormat())) {
    if (token.letter == 0) {
      out += token.literal;
    } else {
      appendField(out, token, local, names, *this);
    }
  }
  return out;
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
  const auto& names = detail::namesFor(locale_);
  auto tokens = tokenize(dateFormat());
  if (tokens.empty()) return std::nullopt;
  Reader reader(text);
  Fields fields;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (token.letter == 0) {
      if (!reader.literal(token.literal)) return std::nullopt;
      continue;
    }
    bool numberFollows = isNumberField(token) && i + 1 < tokens.size() && isNumberField(tokens[i + 1]);
    if (!readField(reader, token, numberFollows, names, *this, fields)) return std::nullopt;
  }
  if (!reader.atEnd()) return std::nullopt;
  return compose(fields, timeZone_.data());
}

}  // namespace talvaren::platform
