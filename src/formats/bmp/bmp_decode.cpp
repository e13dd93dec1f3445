// Our own BMP reader: every field of the headers checked against the bytes present before it
// is used, indexed pictures kept with their indices, and the run-length compressed ones that
// editors write for a plain re-save.
#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <optional>
#include <string>

#include "formats/bmp/bmp_format.hpp"
#include "formats/bmp/bmp_rle.hpp"
#include "formats/picture/picture_internal.hpp"
#include "io/checked.hpp"
#include "io/le_bytes.hpp"

namespace vostrel::picture_detail {

namespace {

// BMP file header (kBmpFileHeaderSize bytes): the offset of the pixel data at byte 10, then the
// info header, whose first word is its own size.
constexpr std::size_t kFileHeaderSize = kBmpFileHeaderSize;
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kHeaderSizeAt = 14;
// The info headers of today: 40 bytes and its successors of 52, 56 (the 40 bytes and colour
// masks), 108 and 124 bytes. The old 12-byte header, with 16-bit sizes and 3-byte entries, is
// not taken: no editor of today writes it.
constexpr std::array<std::uint32_t, 5> kInfoHeaderSizes{40, 52, 56, 108, 124};
constexpr std::uint32_t kInfoHeaderSize = kBmpInfoHeaderSize;
// Their fields: 32-bit signed width and height (a negative height stores the rows top first),
// bits per pixel, compression, colours used (0: as many as the bits can tell).
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;
constexpr std::size_t kBitsAt = 28;
constexpr std::size_t kCompressionAt = 30;
constexpr std::size_t kColoursUsedAt = 46;
// Compression codes: none, run-length of 8 and of 4 bits, colour masks (their three words at
// byte 54, inside the longer headers, after the 40-byte one).
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::size_t kMasksAt = 54;
constexpr std::size_t kMasksSize = 12;
// Colour-table entries: blue, green, red, a byte that means nothing.
constexpr std::size_t kEntryBytes = kPaletteEntryBytes;
constexpr std::size_t kMaxEntries = 256;
// Rows are padded to a multiple of four bytes.
constexpr std::uint64_t kRowAlignBits = 32;

std::string Bits(unsigned bits) { return std::to_string(bits) + (bits == 1 ? " bit" : " bits"); }

bool Takes(unsigned bits, std::uint32_t compression) {
  switch (compression) {
    case kUncompressed:
      return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
    case kRle8:
      return bits == 8;
    case kRle4:
      return bits == 4;
    case kBitFields:
      return bits == 32;
    default:
      return false;
  }
}

// The shift of a colour mask of 8 contiguous bits, the only kind editors write for 32 bits.
std::optional<int> MaskShift(std::uint32_t mask) {
  if (mask == 0) {
    return std::nullopt;
  }
  const int shift = std::countr_zero(mask);
  return (mask >> shift) == 0xFFu ? std::optional<int>(shift) : std::nullopt;
}

}  // namespace

RgbPicture DecodeBmp(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  const auto endsInHeader = [] { RefuseDamaged("BMP", "the file ends inside its header"); };
  if (bytes.size() < kFileHeaderSize + 4) {
    endsInHeader();
  }
  const std::uint32_t offset = ReadLe32(bytes, kPixelOffsetAt);
  const std::uint32_t headerSize = ReadLe32(bytes, kHeaderSizeAt);
  if (std::find(kInfoHeaderSizes.begin(), kInfoHeaderSizes.end(), headerSize) ==
      kInfoHeaderSizes.end()) {
    Refuse("is a BMP with an old or unknown header (" + std::to_string(headerSize) +
           " bytes); save it as a current BMP or as PNG");
  }
  if (bytes.size() < kFileHeaderSize + headerSize) {
    endsInHeader();
  }
  const std::int64_t width = ReadLe32Signed(bytes, kWidthAt);
  const std::int64_t height = ReadLe32Signed(bytes, kHeightAt);
  const unsigned bits = ReadLe16(bytes, kBitsAt);
  const std::uint32_t compression = ReadLe32(bytes, kCompressionAt);
  if (!Takes(bits, compression)) {
    Refuse("is a BMP of " + Bits(bits) + " per pixel" +
           (compression == kUncompressed ? "" : " and compression " + std::to_string(compression)) +
           ", which is not read; save it as PNG or as an uncompressed BMP of 8 (indexed), 24 or "
           "32 bits per pixel");
  }
  if (width < 0 || height == INT_MIN) {
    RefuseDamaged("BMP", "impossible size in its header");
  }
  const bool topDown = height < 0;
  const bool rle = compression == kRle8 || compression == kRle4;
  if (rle && topDown) {
    RefuseDamaged("BMP", "it is compressed and stored top row first, which cannot be");
  }
  const auto columns = static_cast<std::uint64_t>(width);
  const auto rows = static_cast<std::uint64_t>(topDown ? -height : height);
  CheckPixelCount(columns, rows, maxPixels);

  // Masks after a 40-byte header come before the colour table and the pixels.
  const bool separateMasks = compression == kBitFields && headerSize == kInfoHeaderSize;
  const std::uint64_t headersEnd = kFileHeaderSize + headerSize + (separateMasks ? kMasksSize : 0);
  if (bytes.size() < headersEnd) {
    endsInHeader();
  }
  if (offset < headersEnd) {
    RefuseDamaged("BMP", "its pixel data is said to start at byte " + std::to_string(offset) +
                             ", inside its headers, which end at byte " +
                             std::to_string(headersEnd));
  }
  if (offset > bytes.size()) {
    RefuseDamaged("BMP", "its pixel data is said to start at byte " + std::to_string(offset) +
                             ", past the end of the file");
  }
  // The width is bounded by the pixel count checked above, so the stride cannot overflow.
  const std::uint64_t stride = (columns * bits + kRowAlignBits - 1) / kRowAlignBits * 4;
  if (!rle) {
    const auto rowBytes = CheckedMul(stride, rows);
    const auto needed = rowBytes ? CheckedAdd(std::uint64_t{offset}, *rowBytes) : std::nullopt;
    if (!needed || *needed > bytes.size()) {
      Refuse("ends early: its header announces more pixel rows than the file holds" +
             std::string(kSaveAgain));
    }
  }
  const auto fileRow = [&](std::uint64_t y) {
    const std::uint64_t stored = topDown ? y : rows - 1 - y;
    return bytes.subspan(static_cast<std::size_t>(offset + stored * stride),
                         static_cast<std::size_t>(stride));
  };

  RgbPicture picture;
  picture.width = static_cast<std::int32_t>(columns);
  picture.height = static_cast<std::int32_t>(rows);
  const auto count = static_cast<std::size_t>(columns * rows);
  const auto pixelsWide = static_cast<std::size_t>(columns);
  if (bits <= 8) {
    const std::uint32_t used = ReadLe32(bytes, kColoursUsedAt);
    const auto entries = static_cast<std::size_t>(std::min<std::uint64_t>(
        {(offset - headersEnd) / kEntryBytes,
         used != 0 ? std::uint64_t{used} : std::uint64_t{1} << bits, std::uint64_t{kMaxEntries}}));
    if (entries == 0) {
      RefuseDamaged("BMP", "it is indexed but has no colour table");
    }
    if (rle) {
      picture.indices =
          DecodeBmpRle(bytes.subspan(offset), pixelsWide, static_cast<std::size_t>(rows), bits);
    } else {
      picture.indices.resize(count);
      for (std::uint64_t y = 0; y < rows; ++y) {
        UnpackIndices(
            fileRow(y), bits,
            std::span(picture.indices).subspan(static_cast<std::size_t>(y * columns), pixelsWide));
      }
    }
    CheckIndices("BMP", picture.indices, pixelsWide, entries);
    picture.colourTable = ColourTable(bytes.subspan(static_cast<std::size_t>(headersEnd)), entries,
                                      kEntryBytes, false);
    ColourIndexed(picture);
    return picture;
  }

  // Blue, green, red, and for 32 bits a fourth byte that is ignored, unless masks say otherwise.
  std::array<int, 3> shifts{16, 8, 0};  // red, green, blue in a little-endian 32-bit word
  if (compression == kBitFields) {
    for (std::size_t c = 0; c < shifts.size(); ++c) {
      const auto shift = MaskShift(ReadLe32(bytes, kMasksAt + c * 4));
      if (!shift) {
        Refuse(
            "is a 32-bit BMP with colour masks other than 8 bits a colour, which are not read; "
            "save it as a 24-bit BMP or as PNG");
      }
      shifts[c] = *shift;
    }
  }
  picture.channels = 3;
  picture.pixels.resize(count * 3);
  const std::size_t pixelBytes = bits / 8;
  for (std::uint64_t y = 0; y < rows; ++y) {
    const auto row = fileRow(y);
    auto* out = picture.pixels.data() + y * columns * 3;
    for (std::size_t x = 0; x < pixelsWide; ++x) {
      const std::size_t at = x * pixelBytes;
      const std::uint32_t word = pixelBytes == 4 ? ReadLe32(row, at)
                                                 : row[at] | (std::uint32_t{row[at + 1]} << 8) |
                                                       (std::uint32_t{row[at + 2]} << 16);
      for (std::size_t c = 0; c < 3; ++c) {
        out[x * 3 + c] = static_cast<std::uint8_t>(word >> shifts[c]);
      }
    }
  }
  return picture;
}

}  // namespace vostrel::picture_detail
