#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vostrel {

// Gives the file at path exactly these bytes, or leaves it as it was: the bytes go to a new
// file in the directory of the file path names, which is then renamed over it (replacing it, if
// it exists). A symbolic link is followed and stays; an existing file keeps its permission
// bits. On failure the new file is removed again. Returns nothing on success, else the reason.
std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes);

struct ReplaceOutcome {
  bool replaced = false;               // the file did not hold the bytes, and a write was tried
  std::optional<std::string> failure;  // why that write failed
};

// ReplaceFileWith, but a file that already holds exactly these bytes is left alone, its time
// stamps and identity too.
ReplaceOutcome UpdateFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace vostrel
