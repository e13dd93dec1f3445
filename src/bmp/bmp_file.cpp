// The BMP writer: the one place the bytes of an output BMP are put together.
#include "bmp/bmp_file.hpp"

#include <algorithm>
#include <limits>
#include <memory>

#include "io/checked.hpp"
#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

constexpr std::uint16_t kTypeBm = 0x4D42;  // "BM"
// The reserved words carry "qzv" and a zero byte.
constexpr std::uint16_t kReserved1 = 'q' | ('z' << 8);
constexpr std::uint16_t kReserved2 = 'v';
constexpr std::uint32_t kCompressionNone = 0;
// Twelve bytes of the info header that no reader needs (image size and resolutions) carry
// the watermark "palomexvind" and a zero byte.
constexpr std::array<std::uint8_t, 12> kWatermark{'p', 'a', 'l', 'o', 'm', 'e',
                                                  'x', 'v', 'i', 'n', 'd', 0};
constexpr std::array<std::uint8_t, 3> kPadLetters{'Q', 'Z', 'V'};
constexpr int kRowsPerMark = 15;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

}  // namespace

std::uint32_t RowPadding(std::int32_t width) {
  return static_cast<std::uint32_t>((4 - (static_cast<std::int64_t>(width) % 4)) % 4);
}

bool BmpFile::SetFileHeader(std::uint16_t type, std::uint32_t size, std::uint16_t reserved1,
                            std::uint16_t reserved2, std::uint32_t dataOffset) {
  WriteLe16(fileHeader, 0, type);         // bfType
  WriteLe32(fileHeader, 2, size);         // bfSize
  WriteLe16(fileHeader, 6, reserved1);    // bfReserved1
  WriteLe16(fileHeader, 8, reserved2);    // bfReserved2
  WriteLe32(fileHeader, 10, dataOffset);  // bfOffBits
  return true;
}

bool BmpFile::FillFileHeader(std::uint32_t fileSize) {
  return SetFileHeader(kTypeBm, fileSize, kReserved1, kReserved2, kBmpDataOffset);
}

bool BmpFile::SetInfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height,
                            std::uint16_t planes, std::uint16_t bitsPerPixel,
                            std::uint32_t compression, std::uint32_t imageSize,
                            std::uint32_t horizontalResolution, std::uint32_t verticalResolution,
                            std::uint32_t coloursUsed, std::uint32_t importantColours) {
  WriteLe32(infoHeader, 0, headerSize);                          // biSize
  WriteLe32(infoHeader, 4, static_cast<std::uint32_t>(width));   // biWidth
  WriteLe32(infoHeader, 8, static_cast<std::uint32_t>(height));  // biHeight, > 0: bottom-up
  WriteLe16(infoHeader, 12, planes);                             // biPlanes
  WriteLe16(infoHeader, 14, bitsPerPixel);                       // biBitCount
  WriteLe32(infoHeader, 16, compression);                        // biCompression
  WriteLe32(infoHeader, 20, imageSize);                          // biSizeImage
  WriteLe32(infoHeader, 24, horizontalResolution);               // biXPelsPerMeter
  WriteLe32(infoHeader, 28, verticalResolution);                 // biYPelsPerMeter
  WriteLe32(infoHeader, 32, coloursUsed);                        // biClrUsed
  WriteLe32(infoHeader, 36, importantColours);                   // biClrImportant
  return true;
}

bool BmpFile::FillInfoHeader(std::int32_t width, std::int32_t height, std::int32_t bitDepth) {
  return SetInfoHeader(kBmpInfoHeaderSize, width, height, static_cast<std::uint16_t>(bitDepth >> 3),
                       static_cast<std::uint16_t>(bitDepth), kCompressionNone,
                       ReadLe32(kWatermark, 0), ReadLe32(kWatermark, 4), ReadLe32(kWatermark, 8), 0,
                       0);
}

std::optional<BmpFile::Layout> BmpFile::CheckLayout() const {
  const std::int32_t width = ReadLe32Signed(infoHeader, 4);
  const std::int32_t height = ReadLe32Signed(infoHeader, 8);
  if (width < 0 || height < 0 || palettes.empty() || paletteEntries < 0) {
    return std::nullopt;
  }
  Layout layout;
  layout.height = height;
  layout.rowBytes = static_cast<std::uint64_t>(width);
  layout.pad = RowPadding(width);
  // Width and height are below 2^31 here, so their products stay below 2^63.
  const std::uint64_t planeBytes = layout.rowBytes * static_cast<std::uint64_t>(height);
  if (blocks.empty() || blocks[0].empty() || blocks[0][0].size() < planeBytes) {
    return std::nullopt;
  }
  const auto fileSize = CheckedAdd<std::uint64_t>(
      kBmpDataOffset, (layout.rowBytes + layout.pad) * static_cast<std::uint64_t>(height));
  if (!fileSize || *fileSize > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  layout.fileSize = *fileSize;
  return layout;
}

void BmpFile::AssembleHead(const Layout& layout, std::span<std::uint8_t> out) {
  FillFileHeader(static_cast<std::uint32_t>(layout.fileSize));
  auto at = std::copy(fileHeader.begin(), fileHeader.end(), out.begin());
  std::copy(infoHeader.begin(), infoHeader.end(), at);
  WriteColourTable(out.subspan(kBmpFileHeaderSize + kBmpInfoHeaderSize, kBmpColourTableSize));
}

void BmpFile::WriteColourTable(std::span<std::uint8_t> out) const {
  // The headers promise a table of 256 entries ending at the data offset, so the table written
  // always has exactly that many: a shorter palette is completed with zero entries.
  const std::size_t paletteBytes =
      std::min({static_cast<std::size_t>(paletteEntries) * kPaletteEntryBytes, kBmpColourTableSize,
                palettes[0].size()});
  const auto at = std::copy_n(palettes[0].begin(), paletteBytes, out.begin());
  std::fill_n(at, kBmpColourTableSize - paletteBytes, 0);
}

void BmpFile::WriteRowMarks(const Layout& layout) {
  // A mark stands before every 15th row written. Nothing flushes the console while the rows go
  // out, so they are written at once, which also spares walking the rows of a picture no pixel
  // wide: a damaged header can announce two billion of them.
  console().Marks(static_cast<std::uint64_t>(layout.height) / kRowsPerMark);
}

bool BmpFile::Encode(const ByteSink& sink) {
  const std::optional<Layout> layout = CheckLayout();
  if (!layout) {
    return false;
  }
  WriteRowMarks(*layout);
  return LayOut(*layout, fileBytes, sink);
}

std::span<std::uint8_t> BmpFile::EncodeWhole(std::vector<std::uint8_t>& buffer) {
  const std::optional<Layout> layout = CheckLayout();
  if (!layout || layout->fileSize > kChunkBytes) {
    return {};
  }
  // The buffer only grows: shrinking it and growing it again would clear the bytes each time.
  const auto fileSize = static_cast<std::size_t>(layout->fileSize);
  if (buffer.size() < fileSize) {
    buffer.resize(fileSize);
  }
  // As a piece holds the whole file, LayOut hands on nothing before its end, and then exactly
  // the file's bytes: the start of buffer.
  if (!LayOut(*layout, buffer, [](std::span<const std::uint8_t> /*bytes*/) { return true; })) {
    return {};
  }
  return std::span(buffer).first(fileSize);
}

void BmpFile::RewriteColourTable(std::span<std::uint8_t> file) const {
  if (file.size() >= kBmpDataOffset && !palettes.empty()) {
    WriteColourTable(file.subspan(kBmpFileHeaderSize + kBmpInfoHeaderSize, kBmpColourTableSize));
  }
}

bool BmpFile::LayOut(const Layout& layout, std::vector<std::uint8_t>& out, const ByteSink& sink) {
  const std::uint64_t rowBytes = layout.rowBytes;
  const std::uint32_t pad = layout.pad;

  // The file is put together in memory and handed on in pieces of at most kChunkBytes: a sprite
  // goes out whole in one write, and a huge picture never needs a second copy of its plane.
  const auto pieceBytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(layout.fileSize, kChunkBytes));
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
  AssembleHead(layout, std::span(out).first(kBmpDataOffset));
  used = kBmpDataOffset;

  if (rowBytes + pad == 0) {
    return handOn();
  }
  const std::span<const std::uint8_t> plane = blocks[0][0];
  const std::span<const std::uint8_t> padding(kPadLetters.data(), pad);
  for (std::int64_t r = static_cast<std::int64_t>(layout.height) - 1; r >= 0; --r) {
    const auto row =
        plane.subspan(static_cast<std::size_t>(static_cast<std::uint64_t>(r) * rowBytes),
                      static_cast<std::size_t>(rowBytes));
    if (used + rowBytes + pad > out.size() && !handOn()) {
      return false;
    }
    if (rowBytes + pad > kChunkBytes) {
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

bool BmpFile::Produce(std::span<const std::uint8_t> encoded, const ByteSink& sink) {
  if (encoded.empty()) {
    return Encode(sink);
  }
  // Bytes laid out before are written only while the headers still describe them.
  const std::optional<Layout> layout = CheckLayout();
  if (!layout || layout->fileSize != encoded.size()) {
    return false;
  }
  WriteRowMarks(*layout);
  return sink(encoded);
}

bool BmpFile::WriteFile(std::span<const std::uint8_t> encoded) {
  const std::unique_ptr<FileWriter> file = files().Create(fullPath);
  if (!file) {
    return false;
  }
  const bool produced = Produce(encoded, [&file](std::span<const std::uint8_t> bytes) {
    const std::array pieces{bytes};
    return file->Write(pieces);
  });
  // Closing is part of the write: its failure means the bytes may not all be there.
  const bool closed = file->Close();
  if (produced && closed) {
    return true;
  }
  // Leave no truncated file behind looking like a good one (but never remove a device such as
  // a full disk's special file that the path may name).
  files().RemoveFile(fullPath);
  return false;
}

bool BmpFile::Save() { return SaveBytes({}); }

bool BmpFile::SaveBytes(std::span<const std::uint8_t> encoded) {
  if (!WriteFile(encoded)) {
    console().EndLine(Stream::kErr);
    console().Err("Could not write BMP file");
    console().EndLine(Stream::kErr);
    return false;
  }
  console().EndLine(Stream::kOut);
  console().EndLine(Stream::kOut);
  return true;
}

bool BmpFile::SaveAs(const std::string& path) { return SaveAs(path, {}); }

bool BmpFile::SaveAs(const std::string& path, std::span<const std::uint8_t> encoded) {
  try {
    AssignPath(path);
  } catch (...) {
    return false;
  }
  return SaveBytes(encoded);
}

}  // namespace vostrel
