#pragma once

#include <cstdint>
#include <optional>

namespace vostrel {

// The one place where sizes taken from untrusted files are combined. Every product or sum that
// feeds an allocation, an index or a file offset goes through these and is refused on overflow.
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
