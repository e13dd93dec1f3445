// Encodes BMPs of arbitrary (small) sizes, palettes and planes into memory and reads each back
// independently; also checks that an encoder given something it cannot write produces nothing,
// and that one whose sink refuses stops at once.
//
// Input: a flags byte, width, height and palette entry count (16 bits each), a count of spare
// plane bytes, the byte at which the sink refuses, then palette bytes and plane bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.hpp"
#include "io/memory_files.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"

namespace {

using vostrel::fuzz::Bytes;

// Sides stay below this so that a run covers many shapes rather than a few large ones.
constexpr std::uint16_t kSideLimit = 257;

enum Flag : std::uint8_t {
  kNegativeWidth = 1,
  kNegativeHeight = 2,
  kNoPalette = 4,
  kShortPlane = 8,
  kRefusingSink = 16,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vostrel::fuzz::InputReader reader({data, size});
  const std::uint8_t flags = reader.Byte();
  std::int32_t width = reader.Half() % kSideLimit;
  std::int32_t height = reader.Half() % kSideLimit;
  const auto entries = static_cast<std::int32_t>(reader.Half() % (vostrel::kPaletteEntries + 1));
  const std::size_t spare = reader.Byte() % 8u;
  const std::size_t refuseAt = reader.Byte();
  if ((flags & kNegativeWidth) != 0) {
    width = -width - 1;
  }
  if ((flags & kNegativeHeight) != 0) {
    height = -height - 1;
  }

  const std::span<const std::uint8_t> rest = reader.Rest();
  Bytes palette(1024, 0);
  const std::size_t paletteBytes = static_cast<std::size_t>(entries) * 4;
  const std::size_t taken = std::min(paletteBytes, rest.size());
  std::copy_n(rest.begin(), taken, palette.begin());
  const std::span<const std::uint8_t> pixels = rest.subspan(taken);

  const bool drawable = width >= 0 && height >= 0;
  const std::size_t planeBytes =
      drawable ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height) : 0;
  const bool shortPlane = (flags & kShortPlane) != 0 && planeBytes > 0;
  Bytes plane(shortPlane ? planeBytes - 1 : planeBytes + spare);
  for (std::size_t i = 0; i < plane.size(); ++i) {
    plane[i] = pixels.empty() ? static_cast<std::uint8_t>(i) : pixels[i % pixels.size()];
  }

  vostrel::SilentConsole silent;
  vostrel::MemoryFiles files;
  vostrel::BmpFile bmp(silent, files);
  bmp.SetPlane(plane);
  bmp.FillInfoHeader(width, height, 8);
  const bool hasPalette = (flags & kNoPalette) == 0;
  if (hasPalette) {
    bmp.SetPalette(0, palette, entries);
  }

  Bytes file;
  std::size_t calls = 0;
  const bool encoded = bmp.Encode([&](std::span<const std::uint8_t> bytes) {
    ++calls;
    file.insert(file.end(), bytes.begin(), bytes.end());
    return true;
  });
  if (!drawable || !hasPalette || shortPlane) {
    FUZZ_CHECK(!encoded && calls == 0);
    return 0;
  }
  FUZZ_CHECK(encoded);
  vostrel::fuzz::CheckBmp(file, width, height, plane,
                          std::span<const std::uint8_t>(palette).first(paletteBytes));
  if ((flags & kRefusingSink) != 0) {
    Bytes partial;
    std::size_t partialCalls = 0;
    bool calledAfterRefusal = false;
    const bool result = bmp.Encode([&](std::span<const std::uint8_t> bytes) {
      calledAfterRefusal = calledAfterRefusal || partialCalls > refuseAt;
      if (partialCalls++ == refuseAt) {
        return false;
      }
      partial.insert(partial.end(), bytes.begin(), bytes.end());
      return true;
    });
    FUZZ_CHECK(!calledAfterRefusal);
    FUZZ_CHECK(result == (refuseAt >= calls));
    FUZZ_CHECK(partial.size() <= file.size() &&
               std::equal(partial.begin(), partial.end(), file.begin()));
  }
  // Save writes what Encode gives, and a change to the plane between two saves, made through a
  // reference kept from before the first, shows in the second.
  vostrel::BlockTable& blocks = bmp.Blocks();
  FUZZ_CHECK(bmp.SaveAs("a.bmp") && files.Contents().at("a.bmp") == file);
  if (planeBytes > 0) {
    blocks[0][0][0] = static_cast<std::uint8_t>(blocks[0][0][0] + 1);
    plane[0] = blocks[0][0][0];
    FUZZ_CHECK(bmp.SaveAs("b.bmp"));
    vostrel::fuzz::CheckBmp(files.Contents().at("b.bmp"), width, height, plane,
                            std::span<const std::uint8_t>(palette).first(paletteBytes));
  }
  return 0;
}
