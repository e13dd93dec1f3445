// Little-endian numbers read from and written to bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vostrel {

// Both file formats store their numbers little-endian whatever the host; these put and take them
// byte by byte so that no struct layout or host byte order ever leaks into a file.

inline std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::int32_t ReadLe32Signed(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::int32_t>(ReadLe32(bytes, offset));
}

inline void WriteLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFFu);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFFu);
  bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFFu);
  bytes[offset + 2] = static_cast<std::uint8_t>((value >> 16) & 0xFFu);
  bytes[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

// The same, appended to bytes being written front to back.
inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFFu));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  AppendLe16(out, static_cast<std::uint16_t>(value & 0xFFFFu));
  AppendLe16(out, static_cast<std::uint16_t>(value >> 16));
}

inline void AppendLe64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  AppendLe32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
  AppendLe32(out, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace vostrel
