#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vostrel {

// Gives the file at path exactly these bytes, or leaves it as it was: the bytes go to a new
// file in path's own directory, which is then renamed over path (replacing it, if it exists).
// On failure that file is removed again. Returns nothing on success, else the reason.
std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes);

}  // namespace vostrel
