#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/image_file.hpp"
#include "platform/platform.hpp"

namespace vostrel {

inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
inline constexpr std::size_t kBmpColourTableSize =
    static_cast<std::size_t>(kPaletteEntries) * kPaletteEntryBytes;
inline constexpr std::uint32_t kBmpDataOffset =
    kBmpFileHeaderSize + kBmpInfoHeaderSize + kBmpColourTableSize;

// Receives the bytes of a BMP in file order; returns false when they could not be stored.
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// Bytes of padding that bring a row of width one-byte pixels to a multiple of four.
std::uint32_t RowPadding(std::int32_t width);

// Writes one uncompressed 8-bit, bottom-up BMP from palette 0 and the pixel plane in block
// [0][0] (rows of width bytes, top row first). It only writes: Load does nothing.
class BmpFile : public ImageFile {
 public:
  explicit BmpFile(Console& console = StandardConsole()) : ImageFile(console) {}

  bool Save() override;
  bool SaveAs(const std::string& path) override;
  bool Load(const std::string& /*path*/) override { return true; }

  bool FillFileHeader(std::uint32_t fileSize);
  bool SetFileHeader(std::uint16_t type, std::uint32_t size, std::uint16_t reserved1,
                     std::uint16_t reserved2, std::uint32_t dataOffset);
  bool FillInfoHeader(std::int32_t width, std::int32_t height, std::int32_t bitDepth);
  bool SetInfoHeader(std::uint32_t headerSize, std::int32_t width, std::int32_t height,
                     std::uint16_t planes, std::uint16_t bitsPerPixel, std::uint32_t compression,
                     std::uint32_t imageSize, std::uint32_t horizontalResolution,
                     std::uint32_t verticalResolution, std::uint32_t coloursUsed,
                     std::uint32_t importantColours);

  // Produces the whole file into sink, in as few pieces as a buffer of a megabyte allows, with
  // a progress mark before every 15th row. Returns false, having produced nothing, when the
  // info header, palette or plane cannot make a valid file, and false as soon as sink refuses
  // bytes.
  bool Encode(const ByteSink& sink);

  const std::array<std::uint8_t, kBmpFileHeaderSize>& FileHeader() const { return fileHeader; }
  const std::array<std::uint8_t, kBmpInfoHeaderSize>& InfoHeader() const { return infoHeader; }

 private:
  // What the info header, palette and plane make of a file, when they can make one.
  struct Layout {
    std::int32_t height = 0;
    std::uint64_t rowBytes = 0;
    std::uint32_t pad = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t rowsCount() const { return static_cast<std::uint64_t>(height); }
  };
  std::optional<Layout> CheckLayout() const;
  // Fills the file header, then puts both headers and the 256-entry colour table into out.
  void AssembleHead(const Layout& layout, std::span<std::uint8_t> out);
  void WriteRowMarks(const Layout& layout);
  // Room for the head, then the plane's rows bottom-up with their padding: the whole file, so
  // that it goes out in one piece. The rows are laid out again only when the plane changed.
  std::span<std::uint8_t> LaidOutRows(const Layout& layout);
  bool WriteTo(platform::OutputFile& file);

  std::array<std::uint8_t, kBmpFileHeaderSize> fileHeader{};
  std::array<std::uint8_t, kBmpInfoHeaderSize> infoHeader{};
  // The bytes of the file being produced; kept between saves so that its storage is reused.
  std::vector<std::uint8_t> fileBytes;
  std::vector<std::uint8_t> rows;
  std::uint64_t rowsVersion = 0;
  Layout rowsLayout;
};

}  // namespace vostrel
