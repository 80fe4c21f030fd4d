#pragma once
// Raw values of the kit's enumerations: the wire code or the identifier text behind each case.
//
// An enumeration E with raw values specialises RawValueOf<E> (naming the raw type) and
// fromRawValue<E>, and offers an overload rawValue(E). fromRawValue is exact: it answers the case
// whose raw value equals the argument, or nothing.

#include <array>
#include <cstddef>
#include <optional>

namespace talvaren {

template <class E>
struct RawValueOf;

template <class E>
std::optional<E> fromRawValue(typename RawValueOf<E>::type raw);

namespace detail {

/// The first of `cases` whose raw value equals `raw`.
template <class E, std::size_t N>
constexpr std::optional<E> caseWithRawValue(const std::array<E, N>& cases, typename RawValueOf<E>::type raw) {
  for (auto value : cases) {
    if (rawValue(value) == raw) return value;
  }
  return std::nullopt;
}

}  // namespace detail

}  // namespace talvaren
