#pragma once
// Raw values of the kit's enumerations: the wire code or the identifier text behind each case.
//
// An enumeration E with raw values specialises RawValueOf<E> (naming the raw type) and
// fromRawValue<E>, and offers an overload rawValue(E). fromRawValue is exact: it answers the case
// whose raw value equals the argument, or nothing.

#include <optional>

namespace talvaren {

template <class E>
struct RawValueOf;

template <class E>
std::optional<E> fromRawValue(typename RawValueOf<E>::type raw);

}  // namespace talvaren
