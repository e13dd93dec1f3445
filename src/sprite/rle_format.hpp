// The run-length control byte of .ART frames (drawn in art_format.hpp), for the decoder and the
// encoder alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel {

// The top bit marks a literal run (the count bytes that follow are copied); without it, the one
// byte that follows is repeated count times.
inline constexpr std::uint8_t kRleLiteralBit = 0x80;
// The low seven bits count.
inline constexpr std::uint8_t kRleCountMask = 0x7F;
// The longest run a control byte can announce.
inline constexpr std::size_t kMaxRleRun = kRleCountMask;

}  // namespace vostrel
