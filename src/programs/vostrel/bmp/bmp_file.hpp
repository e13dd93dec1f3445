// The BMP writer (BmpFile): one uncompressed 8-bit, bottom-up BMP from a palette and a plane.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/bmp/bmp_encode.hpp"
#include "formats/bmp/bmp_format.hpp"
#include "programs/vostrel/image/image_file.hpp"

namespace vostrel {

// Writes one uncompressed 8-bit, bottom-up BMP from palette 0 and the pixel plane in block
// [0][0] (rows of width bytes, top row first). It only writes: Load does nothing. Save writes
// exactly the bytes that Encode produces, through the Files it was given; the bytes themselves
// are put together by formats/bmp/bmp_encode.hpp, from the headers this object holds.
class BmpFile : public ImageFile {
 public:
  BmpFile(Console& console, Files& files) : ImageFile(console, files) {}

  // Writes the file to fullPath, with its progress marks, and ends the caller's line twice; on
  // failure says "Could not write BMP file" and returns false.
  bool Save() override;
  // Takes path as the file's path (AssignPath), then saves through Save; Save's result.
  bool SaveAs(const std::string& path) override;
  bool Load(const std::string& /*path*/) override { return true; }
  // SaveAs with the bytes encoded, as EncodeWhole laid them out (and RewriteColourTable gave
  // them the present palette), written by Save as they are; false, writing nothing, unless the
  // headers still make a file of that size. Empty bytes mean none were laid out: the file is
  // encoded afresh, as SaveAs does.
  bool SaveAs(const std::string& path, std::span<const std::uint8_t> encoded);

  bool FillFileHeader(std::uint32_t fileSize);
  bool SetFileHeader(std::uint16_t type, std::uint32_t size, std::uint16_t reserved1,
                     std::uint16_t reserved2, std::uint32_t dataOffset);
  bool FillInfoHeader(std::int32_t width, std::int32_t height, std::int32_t bitDepth);
  bool SetInfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height,
                     std::uint16_t planes, std::uint16_t bitsPerPixel, std::uint32_t compression,
                     std::uint32_t imageSize, std::uint32_t horizontalResolution,
                     std::uint32_t verticalResolution, std::uint32_t coloursUsed,
                     std::uint32_t importantColours);

  // Produces the whole file into sink, in as few pieces as a buffer of a megabyte allows (a
  // sprite in one), with its progress marks: one for every 15th row, all written before the
  // rows, as nothing flushes the console while they go out. Rows that hold no bytes (a picture
  // 0 wide) cost nothing, however many there are. Returns false, having produced nothing, when
  // the info header, palette or plane cannot make a valid file, and false as soon as sink
  // refuses bytes.
  bool Encode(const ByteSink& sink);
  // Lays the whole file out at the start of buffer (grown to fit), without progress marks, and
  // returns its bytes there: for a file that fits one piece, so that a plane saved with several
  // palettes is laid out once, and only its colour table is written again (RewriteColourTable)
  // for each palette. The caller owns the bytes, so nothing the object keeps can go stale.
  // Returns nothing when the file cannot be valid or is larger than a piece.
  std::span<std::uint8_t> EncodeWhole(std::vector<std::uint8_t>& buffer);
  // Writes palette 0 over the colour table of a file that EncodeWhole laid out.
  void RewriteColourTable(std::span<std::uint8_t> file) const;

 private:
  // The plane, size and palette the fields describe; nothing without a palette or a plane.
  std::optional<BmpImage> Image() const;
  // The size of the file they make; nothing when they cannot make a valid one.
  std::optional<std::uint64_t> FileSize() const;
  void WriteRowMarks();
  // Fills the file header and hands the file, laid out in buffer, to sink piece by piece,
  // without progress marks.
  bool EncodeInto(std::vector<std::uint8_t>& buffer, const ByteSink& sink);
  // Hands encoded to sink after its progress marks, or the file Encode produces when it is
  // empty.
  bool Produce(std::span<const std::uint8_t> encoded, const ByteSink& sink);
  // Saves to fullPath what Produce makes of encoded; false unless every byte was written and
  // the file closed.
  bool WriteFile(std::span<const std::uint8_t> encoded);

  std::array<std::uint8_t, kBmpFileHeaderSize> fileHeader{};
  std::array<std::uint8_t, kBmpInfoHeaderSize> infoHeader{};
  // The bytes of the file being produced; kept between saves so that its storage is reused.
  // Nothing else is kept: every Encode reads the plane afresh.
  std::vector<std::uint8_t> fileBytes;
  // The file as the caller laid it out for the SaveAs in progress, which Save writes; empty
  // outside it, when Save encodes the file afresh.
  std::span<const std::uint8_t> laidOut;
};

}  // namespace vostrel
