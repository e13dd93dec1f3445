// The image model that the .ART reader and the BMP writer share (ImageFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/files.hpp"
#include "sprite/palette.hpp"

namespace vostrel {

using Block = std::vector<std::uint8_t>;
using BlockTable = std::vector<std::vector<Block>>;

// A palette buffer keeps four spare bytes past its entries.
inline constexpr std::int32_t kPaletteSlack = 4;

// What the .ART reader and the BMP writer share: palettes, a two-dimensional table of byte
// blocks and the three strings of the file's path.
class ImageFile {
 public:
  // console receives the object's progress and failure texts, and Load and Save reach their
  // files through files; both must outlive the object.
  ImageFile(Console& console, Files& files) : console_(&console), files_(&files) {}
  virtual ~ImageFile() = default;
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  virtual bool Save() = 0;
  virtual bool SaveAs(const std::string& path) = 0;
  virtual bool Load(const std::string& path) = 0;

  // Replaces the palette table with count buffers of entries * 4 + 4 zero bytes.
  void AllocatePalettes(std::int32_t count, std::int32_t entries);
  // Starts a new table of index + 1 palettes and copies entries * 4 bytes of source into the
  // last; source must hold that many bytes.
  void SetPalette(std::int32_t index, std::span<const std::uint8_t> source, std::int32_t entries);
  // Replaces the block table with rows x columns zeroed blocks of size bytes each.
  void AllocateBlocks(std::int32_t rows, std::int32_t columns, std::size_t size);
  // Copies source into block [0][0], building a 1 x 1 table of source's size when there is none.
  void SetPlane(std::span<const std::uint8_t> source);
  // Makes block [0][0] exactly size bytes, building a 1 x 1 table when there is none, and returns
  // it. Its storage is kept from one plane to the next while it is large enough, and the bytes
  // it held may keep their values, so the caller overwrites all of them.
  Block& ResizePlane(std::size_t size);
  void ReleaseBlocks();
  void ReleasePalettes();

  void SetFileName(const std::string& text) { fileName = text; }
  void SetDirectory(const std::string& text) { directory = text; }
  void SetFullPath(const std::string& text) { fullPath = text; }
  // Sets the full path as given, the file name after the last separator and the directory up
  // to and including it (empty when the path has no separator), through the three setters.
  void AssignPath(const std::string& path);

  std::int32_t PaletteEntries() const { return paletteEntries; }
  const std::vector<Block>& Palettes() const { return palettes; }
  const BlockTable& Blocks() const { return blocks; }
  BlockTable& Blocks() { return blocks; }
  std::int32_t BlockRows() const { return blockRows; }
  std::int32_t BlockColumns() const { return blockColumns; }
  const std::string& FileName() const { return fileName; }
  const std::string& Directory() const { return directory; }
  const std::string& FullPath() const { return fullPath; }

 protected:
  Console& console() const { return *console_; }
  Files& files() const { return *files_; }

  std::int32_t paletteEntries = 0;
  // Empty when the object has no palette table.
  std::vector<Block> palettes;
  // Empty when the object has no block table.
  BlockTable blocks;
  std::int32_t blockRows = 1;
  std::int32_t blockColumns = 1;
  std::string fileName;
  std::string directory;
  std::string fullPath;

 private:
  Console* console_;
  Files* files_;
};

}  // namespace vostrel
