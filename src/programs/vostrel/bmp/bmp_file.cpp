// The BMP writer (BmpFile): the converter's object over formats/bmp/bmp_encode.hpp, with its
// headers, its progress marks and its one file.
#include "programs/vostrel/bmp/bmp_file.hpp"

#include <algorithm>
#include <memory>

#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

constexpr int kRowsPerMark = 15;
constexpr std::size_t kInfoWidthAt = 4;   // biWidth
constexpr std::size_t kInfoHeightAt = 8;  // biHeight

}  // namespace

bool BmpFile::SetFileHeader(std::uint16_t type, std::uint32_t size, std::uint16_t reserved1,
                            std::uint16_t reserved2, std::uint32_t dataOffset) {
  WriteBmpFileHeader({type, size, reserved1, reserved2, dataOffset}, fileHeader);
  return true;
}

bool BmpFile::FillFileHeader(std::uint32_t fileSize) {
  return SetFileHeader(kBmpType, fileSize, kBmpReserved1, kBmpReserved2, kBmpDataOffset);
}

bool BmpFile::SetInfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height,
                            std::uint16_t planes, std::uint16_t bitsPerPixel,
                            std::uint32_t compression, std::uint32_t imageSize,
                            std::uint32_t horizontalResolution, std::uint32_t verticalResolution,
                            std::uint32_t coloursUsed, std::uint32_t importantColours) {
  WriteBmpInfoHeader({headerSize, width, height, planes, bitsPerPixel, compression, imageSize,
                      horizontalResolution, verticalResolution, coloursUsed, importantColours},
                     infoHeader);
  return true;
}

bool BmpFile::FillInfoHeader(std::int32_t width, std::int32_t height, std::int32_t bitDepth) {
  return SetInfoHeader(kBmpInfoHeaderSize, width, height, static_cast<std::uint16_t>(bitDepth >> 3),
                       static_cast<std::uint16_t>(bitDepth), kBmpCompressionNone,
                       kBmpWatermarkWords[0], kBmpWatermarkWords[1], kBmpWatermarkWords[2], 0, 0);
}

std::optional<BmpImage> BmpFile::Image() const {
  if (palettes.empty() || paletteEntries < 0 || blocks.empty() || blocks[0].empty()) {
    return std::nullopt;
  }
  const std::size_t paletteBytes =
      std::min(static_cast<std::size_t>(paletteEntries) * kPaletteEntryBytes, palettes[0].size());
  return BmpImage{ReadLe32Signed(infoHeader, kInfoWidthAt),
                  ReadLe32Signed(infoHeader, kInfoHeightAt), blocks[0][0],
                  std::span(palettes[0]).first(paletteBytes)};
}

std::optional<std::uint64_t> BmpFile::FileSize() const {
  const std::optional<BmpImage> image = Image();
  if (!image) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> size = BmpFileSize(image->width, image->height);
  // The plane must hold every pixel the header promises (both are below 2^31 here).
  if (!size || image->plane.size() < static_cast<std::uint64_t>(image->width) *
                                         static_cast<std::uint64_t>(image->height)) {
    return std::nullopt;
  }
  return size;
}

void BmpFile::WriteRowMarks() {
  // A mark stands before every 15th row written. Nothing flushes the console while the rows go
  // out, so they are written at once, which also spares walking the rows of a picture no pixel
  // wide: a damaged header can announce two billion of them.
  const auto height = static_cast<std::uint64_t>(ReadLe32Signed(infoHeader, kInfoHeightAt));
  console().Marks(height / kRowsPerMark);
}

bool BmpFile::EncodeInto(std::vector<std::uint8_t>& buffer, const ByteSink& sink) {
  const std::optional<std::uint64_t> size = FileSize();
  if (!size) {
    return false;
  }
  FillFileHeader(static_cast<std::uint32_t>(*size));
  std::array<std::uint8_t, kBmpHeadersSize> headers{};
  std::copy(fileHeader.begin(), fileHeader.end(), headers.begin());
  std::copy(infoHeader.begin(), infoHeader.end(),
            headers.begin() + static_cast<std::ptrdiff_t>(kBmpFileHeaderSize));
  return EncodeBmpWithHeaders(headers, *Image(), buffer, sink);
}

bool BmpFile::Encode(const ByteSink& sink) {
  if (!FileSize()) {
    return false;
  }
  WriteRowMarks();
  return EncodeInto(fileBytes, sink);
}

std::span<std::uint8_t> BmpFile::EncodeWhole(std::vector<std::uint8_t>& buffer) {
  const std::optional<std::uint64_t> size = FileSize();
  if (!size || *size > kBmpPieceBytes) {
    return {};
  }
  // The buffer only grows: shrinking it and growing it again would clear the bytes each time.
  const auto fileSize = static_cast<std::size_t>(*size);
  if (buffer.size() < fileSize) {
    buffer.resize(fileSize);
  }
  // As the buffer holds the whole file, nothing is handed on before its end, and then exactly
  // the file's bytes: the start of buffer.
  if (!EncodeInto(buffer, [](std::span<const std::uint8_t> /*bytes*/) { return true; })) {
    return {};
  }
  return std::span(buffer).first(fileSize);
}

void BmpFile::RewriteColourTable(std::span<std::uint8_t> file) const {
  if (const std::optional<BmpImage> image = Image()) {
    RewriteBmpColourTable(file, image->palette);
  }
}

bool BmpFile::Produce(std::span<const std::uint8_t> encoded, const ByteSink& sink) {
  if (encoded.empty()) {
    return Encode(sink);
  }
  // Bytes laid out before are written only while the headers still describe them.
  const std::optional<std::uint64_t> size = FileSize();
  if (!size || *size != encoded.size()) {
    return false;
  }
  WriteRowMarks();
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

bool BmpFile::Save() {
  if (!WriteFile(laidOut)) {
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
  // Save writes the bytes laid out for this call, and only for it.
  laidOut = encoded;
  const bool saved = Save();
  laidOut = {};
  return saved;
}

}  // namespace vostrel
