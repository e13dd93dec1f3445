// The bytes of an 8-bit BMP as vostrel writes it, put together in memory from a plane, a size
// and a palette.
#include "formats/bmp/bmp_encode.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "io/checked.hpp"
#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

// What a plane of that size makes of a file, when it can make one.
struct Layout {
  std::uint64_t rowBytes = 0;
  std::uint32_t pad = 0;
  std::uint64_t fileSize = 0;
};

std::optional<Layout> LayoutOf(const BmpImage& image) {
  const std::optional<std::uint64_t> fileSize = BmpFileSize(image.width, image.height);
  if (!fileSize) {
    return std::nullopt;
  }
  // Width and height are 0 or more and below 2^31 here, so their product stays below 2^62.
  const auto rowBytes = static_cast<std::uint64_t>(image.width);
  if (image.plane.size() < rowBytes * static_cast<std::uint64_t>(image.height)) {
    return std::nullopt;
  }
  return Layout{rowBytes, RowPadding(image.width), *fileSize};
}

// Puts the palette into the 256-entry colour table out. The headers promise a table of 256
// entries ending at the data offset, so the table written always has exactly that many: a
// shorter palette is completed with zero entries.
void WriteColourTable(std::span<const std::uint8_t> palette, std::span<std::uint8_t> out) {
  const std::size_t bytes = std::min(palette.size(), kBmpColourTableSize);
  const auto at = std::copy_n(palette.begin(), bytes, out.begin());
  std::fill_n(at, kBmpColourTableSize - bytes, 0);
}

// Lays the file out in out (grown to a piece when smaller) and hands it to sink piece by piece.
bool LayOut(std::span<const std::uint8_t> headers, const BmpImage& image, const Layout& layout,
            std::vector<std::uint8_t>& out, const ByteSink& sink) {
  const std::uint64_t rowBytes = layout.rowBytes;
  const std::uint32_t pad = layout.pad;
  // A sprite goes out whole in one write, and a huge picture never needs a second copy of its
  // plane.
  const auto pieceBytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(layout.fileSize, kBmpPieceBytes));
  if (out.size() < pieceBytes) {
    out.resize(pieceBytes);
  }
  std::size_t used = 0;
  const auto append = [&out, &used](std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
    used += bytes.size();
  };
  const auto handOn = [&out, &used, &sink] {
    const bool taken = used == 0 || sink(std::span(out).first(used));
    used = 0;
    return taken;
  };
  std::copy_n(headers.begin(), kBmpHeadersSize, out.begin());
  WriteColourTable(image.palette, std::span(out).subspan(kBmpHeadersSize, kBmpColourTableSize));
  used = kBmpDataOffset;

  if (rowBytes + pad == 0) {
    return handOn();
  }
  const std::span<const std::uint8_t> padding(kBmpPadLetters.data(), pad);
  for (std::int64_t r = static_cast<std::int64_t>(image.height) - 1; r >= 0; --r) {
    const auto row =
        image.plane.subspan(static_cast<std::size_t>(static_cast<std::uint64_t>(r) * rowBytes),
                            static_cast<std::size_t>(rowBytes));
    if (used + rowBytes + pad > out.size() && !handOn()) {
      return false;
    }
    if (rowBytes + pad > kBmpPieceBytes) {
      // A row wider than a piece goes on by itself.
      if (!sink(row)) {
        return false;
      }
    } else {
      append(row);
    }
    append(padding);
  }
  return handOn();
}

}  // namespace

std::uint32_t RowPadding(std::int32_t width) {
  return static_cast<std::uint32_t>((4 - (static_cast<std::int64_t>(width) % 4)) % 4);
}

std::optional<std::uint64_t> BmpFileSize(std::int32_t width, std::int32_t height) {
  if (width < 0 || height < 0) {
    return std::nullopt;
  }
  // Both are below 2^31, so a row (with its padding) times the height stays below 2^63.
  const std::uint64_t rows =
      (static_cast<std::uint64_t>(width) + RowPadding(width)) * static_cast<std::uint64_t>(height);
  const auto size = CheckedAdd<std::uint64_t>(kBmpDataOffset, rows);
  if (!size || *size > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  return size;
}

void WriteBmpFileHeader(const BmpFileHeader& header, std::span<std::uint8_t> out) {
  WriteLe16(out, 0, header.type);         // bfType
  WriteLe32(out, 2, header.size);         // bfSize
  WriteLe16(out, 6, header.reserved1);    // bfReserved1
  WriteLe16(out, 8, header.reserved2);    // bfReserved2
  WriteLe32(out, 10, header.dataOffset);  // bfOffBits
}

void WriteBmpInfoHeader(const BmpInfoHeader& header, std::span<std::uint8_t> out) {
  WriteLe32(out, 0, header.headerSize);                          // biSize
  WriteLe32(out, 4, static_cast<std::uint32_t>(header.width));   // biWidth
  WriteLe32(out, 8, static_cast<std::uint32_t>(header.height));  // biHeight
  WriteLe16(out, 12, header.planes);                             // biPlanes
  WriteLe16(out, 14, header.bitsPerPixel);                       // biBitCount
  WriteLe32(out, 16, header.compression);                        // biCompression
  WriteLe32(out, 20, header.imageSize);                          // biSizeImage
  WriteLe32(out, 24, header.horizontalResolution);               // biXPelsPerMeter
  WriteLe32(out, 28, header.verticalResolution);                 // biYPelsPerMeter
  WriteLe32(out, 32, header.coloursUsed);                        // biClrUsed
  WriteLe32(out, 36, header.importantColours);                   // biClrImportant
}

void WriteBmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t fileSize,
                     std::span<std::uint8_t> out) {
  BmpFileHeader file;
  file.size = fileSize;
  WriteBmpFileHeader(file, out);
  BmpInfoHeader info;
  info.width = width;
  info.height = height;
  WriteBmpInfoHeader(info, out.subspan(kBmpFileHeaderSize));
}

bool EncodeBmpWithHeaders(std::span<const std::uint8_t> headers, const BmpImage& image,
                          std::vector<std::uint8_t>& buffer, const ByteSink& sink) {
  const std::optional<Layout> layout = LayoutOf(image);
  if (!layout || headers.size() < kBmpHeadersSize) {
    return false;
  }
  return LayOut(headers, image, *layout, buffer, sink);
}

bool EncodeBmp(const BmpImage& image, const ByteSink& sink) {
  const std::optional<std::uint64_t> size = BmpFileSize(image.width, image.height);
  if (!size) {
    return false;
  }
  std::array<std::uint8_t, kBmpHeadersSize> headers{};
  WriteBmpHeaders(image.width, image.height, static_cast<std::uint32_t>(*size), headers);
  std::vector<std::uint8_t> buffer;
  return EncodeBmpWithHeaders(headers, image, buffer, sink);
}

std::span<std::uint8_t> EncodeBmpWhole(const BmpImage& image, std::vector<std::uint8_t>& buffer) {
  const std::optional<Layout> layout = LayoutOf(image);
  if (!layout || layout->fileSize > kBmpPieceBytes) {
    return {};
  }
  // The buffer only grows: shrinking it and growing it again would clear the bytes each time.
  const auto fileSize = static_cast<std::size_t>(layout->fileSize);
  if (buffer.size() < fileSize) {
    buffer.resize(fileSize);
  }
  std::array<std::uint8_t, kBmpHeadersSize> headers{};
  WriteBmpHeaders(image.width, image.height, static_cast<std::uint32_t>(fileSize), headers);
  // As a piece holds the whole file, LayOut hands on nothing before its end, and then exactly
  // the file's bytes: the start of buffer.
  if (!LayOut(headers, image, *layout, buffer,
              [](std::span<const std::uint8_t> /*bytes*/) { return true; })) {
    return {};
  }
  return std::span(buffer).first(fileSize);
}

std::vector<std::uint8_t> EncodeBmp(const BmpImage& image) {
  std::vector<std::uint8_t> bytes;
  const bool encoded = EncodeBmp(image, [&bytes](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  });
  if (!encoded) {
    bytes.clear();
  }
  return bytes;
}

void RewriteBmpColourTable(std::span<std::uint8_t> file, std::span<const std::uint8_t> palette) {
  if (file.size() >= kBmpDataOffset) {
    WriteColourTable(palette, file.subspan(kBmpHeadersSize, kBmpColourTableSize));
  }
}

}  // namespace vostrel
