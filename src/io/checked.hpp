// Sums and products of sizes that are refused, not wrapped, on overflow.
#pragma once

#include <cstdint>
#include <optional>

namespace vostrel {

// For sizes taken from untrusted files. A sum or product of such sizes that could overflow goes
// through these; where the operands were bounded first (a width and height each below 2^31, a
// count of frames no larger than the file), the plain operation is used and a comment there
// says why it cannot overflow.
template <typename T>
std::optional<T> CheckedMul(T a, T b) {
  T result{};
  if (__builtin_mul_overflow(a, b, &result)) {
    return std::nullopt;
  }
  return result;
}

template <typename T>
std::optional<T> CheckedAdd(T a, T b) {
  T result{};
  if (__builtin_add_overflow(a, b, &result)) {
    return std::nullopt;
  }
  return result;
}

}  // namespace vostrel
