// Replacing a whole file by writing a new one beside it and renaming it into place.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vostrel {

// Writes the bytes to a new file in path's own directory, then renames it over path (replacing
// it, if it exists). What this holds: a reader sees the old file or the new one, never a part;
// when writing or renaming fails, path is left as it was and the new file is removed again (if
// removing fails too, a hidden ".NAME.NUMBER.tmp" may stay behind). What it does not: the data is
// not flushed to the disk before the rename, so a power loss just after may leave path empty;
// the new file gets the default permissions, and a path that is a symbolic link is replaced by
// a file rather than written through. Returns nothing on success, else the reason.
std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes);

}  // namespace vostrel
