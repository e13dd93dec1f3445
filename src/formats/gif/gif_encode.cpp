// The GIF writer (see gif_encode.hpp) with its LZW compressor.
#include "formats/gif/gif_encode.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

constexpr std::string_view kGifSignature = "GIF89a";
// Logical screen descriptor's packed byte: a global colour table (bit 7), colour resolution
// 8 bits (bits 4-6: 7), not sorted, table size 2^(7 + 1) = 256 entries (bits 0-2: 7).
constexpr std::uint8_t kScreenPacked = 0xF7;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
// The application extension that makes viewers loop: "NETSCAPE2.0", sub-block 1, loop count 0
// (forever).
constexpr std::string_view kLoopApplication = "NETSCAPE2.0";
constexpr std::uint8_t kLoopSubBlockId = 1;
// Graphic control extension: its block size, 4 (packed byte, delay, transparent index).
constexpr std::uint8_t kGraphicControlSize = 4;
// Graphic control extension's packed byte: disposal method in bits 2-4 (1: leave the frame,
// 2: restore to background), transparent colour flag in bit 0.
constexpr std::uint8_t kDisposeLeave = 1;
constexpr std::uint8_t kDisposeBackground = 2;
constexpr std::uint8_t kTransparentFlag = 1;
// LZW over 8-bit indices: the minimum code size, its clear and end codes, and the 12-bit limit.
constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kMaxCodes = 1 << 12;
// Data sub-blocks hold at most 255 bytes each.
constexpr std::size_t kSubBlock = 255;

// Packs codes of growing width into bytes, least significant bit first, and the bytes into
// sub-blocks.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Put(int code, int width) {
    bits_ |= static_cast<std::uint32_t>(code) << count_;
    count_ += width;
    while (count_ >= 8) {
      PutByte(static_cast<std::uint8_t>(bits_));
      bits_ >>= 8U;
      count_ -= 8;
    }
  }
  void Finish() {
    if (count_ > 0) {
      PutByte(static_cast<std::uint8_t>(bits_));
    }
    if (!block_.empty()) {
      FlushBlock();
    }
    out_.push_back(0);  // block terminator
  }

 private:
  void PutByte(std::uint8_t byte) {
    block_.push_back(byte);
    if (block_.size() == kSubBlock) {
      FlushBlock();
    }
  }
  void FlushBlock() {
    out_.push_back(static_cast<std::uint8_t>(block_.size()));
    out_.insert(out_.end(), block_.begin(), block_.end());
    block_.clear();
  }
  std::vector<std::uint8_t>& out_;
  std::vector<std::uint8_t> block_;
  std::uint32_t bits_ = 0;
  int count_ = 0;
};

// The string table as a hash of (prefix code, next index) to code, cleared whenever it fills.
class LzwTable {
 public:
  LzwTable() { Clear(); }
  void Clear() {
    keys_.fill(kEmpty);
    next_ = kEndCode + 1;
  }
  // The code of prefix followed by byte, or -1.
  int Find(int prefix, std::uint8_t byte, std::size_t& slot) const {
    const std::uint32_t key = Key(prefix, byte);
    slot = (key * 2654435761U) >> (32U - kHashBits);
    while (keys_[slot] != kEmpty) {
      if (keys_[slot] == key) {
        return codes_[slot];
      }
      slot = (slot + 1) & (kHashSize - 1);
    }
    return -1;
  }
  // Adds the string at the slot Find left; false once the table is full.
  bool Add(int prefix, std::uint8_t byte, std::size_t slot) {
    if (next_ >= kMaxCodes) {
      return false;
    }
    keys_[slot] = Key(prefix, byte);
    codes_[slot] = static_cast<std::uint16_t>(next_++);
    return true;
  }
  int Next() const { return next_; }

 private:
  static constexpr unsigned kHashBits = 13;
  static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;  // twice the codes
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  static std::uint32_t Key(int prefix, std::uint8_t byte) {
    return (static_cast<std::uint32_t>(prefix) << 8U) | byte;
  }
  std::array<std::uint32_t, kHashSize> keys_{};
  std::array<std::uint16_t, kHashSize> codes_{};
  int next_ = 0;
};

// The width in bits of the codes written while next is the next code to be assigned.
int CodeWidth(int next) {
  int width = kMinCodeSize + 1;
  while ((1 << width) < next && width < 12) {
    ++width;
  }
  return width;
}

void PutLzw(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> indices,
            LzwTable& table) {
  out.push_back(kMinCodeSize);
  CodeWriter writer(out);
  table.Clear();
  writer.Put(kClearCode, kMinCodeSize + 1);
  if (!indices.empty()) {
    int prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
      const std::uint8_t byte = indices[i];
      std::size_t slot = 0;
      const int code = table.Find(prefix, byte, slot);
      if (code >= 0) {
        prefix = code;
        continue;
      }
      // Written at the width the decoder expects: it has not yet added the entry below.
      writer.Put(prefix, CodeWidth(table.Next()));
      if (!table.Add(prefix, byte, slot)) {
        writer.Put(kClearCode, 12);
        table.Clear();
      }
      prefix = byte;
    }
    writer.Put(prefix, CodeWidth(table.Next()));
  }
  // The decoder adds an entry for the last code too, which may widen the end code.
  writer.Put(kEndCode, CodeWidth(std::min(table.Next() + 1, kMaxCodes)));
  writer.Finish();
}

}  // namespace

std::uint16_t GifDelay(std::int32_t fps) {
  const long hundredths = std::lround(100.0 / static_cast<double>(fps));
  return static_cast<std::uint16_t>(std::max(2L, std::min(hundredths, 0xFFFFL)));
}

std::vector<std::uint8_t> EncodeGif(const Animation& animation) {
  if (animation.width < 1 || animation.height < 1 || animation.width > kGifMaxSide ||
      animation.height > kGifMaxSide || animation.fps < 1 || animation.frames.empty() ||
      animation.colours.palette.size() < kPaletteBytes) {
    throw std::invalid_argument("a GIF needs a canvas of 1 to 65535 a side, a rate and a frame");
  }
  std::vector<std::uint8_t> out(kGifSignature.begin(), kGifSignature.end());
  AppendLe16(out, static_cast<std::uint16_t>(animation.width));
  AppendLe16(out, static_cast<std::uint16_t>(animation.height));
  out.push_back(kScreenPacked);
  out.push_back(BackgroundIndex(animation.colours));  // background colour index
  out.push_back(0);                                   // no aspect ratio
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb rgb = ColourAt(animation.colours.palette, i);
    out.insert(out.end(), {rgb.red, rgb.green, rgb.blue});
  }
  out.insert(out.end(), {kExtensionIntroducer, kApplicationLabel,
                         static_cast<std::uint8_t>(kLoopApplication.size())});
  out.insert(out.end(), kLoopApplication.begin(), kLoopApplication.end());
  // Its one data sub-block: 3 bytes, sub-block id 1, the loop count (LE16), then the terminator.
  out.insert(out.end(), {3, kLoopSubBlockId, 0, 0, 0});

  const std::uint16_t delay = GifDelay(animation.fps);
  const bool transparent = animation.colours.transparent.has_value();
  const auto packed = static_cast<std::uint8_t>(
      transparent ? (kDisposeBackground << 2U) | kTransparentFlag : kDisposeLeave << 2U);
  auto table = std::make_unique<LzwTable>();
  std::vector<std::uint8_t> canvas;
  for (const IndexedPlane& frame : animation.frames) {
    out.insert(out.end(),
               {kExtensionIntroducer, kGraphicControlLabel, kGraphicControlSize, packed});
    AppendLe16(out, delay);
    out.push_back(BackgroundIndex(animation.colours));  // the transparent index, when flagged
    out.push_back(0);                                   // block terminator
    out.push_back(kImageSeparator);
    AppendLe16(out, 0);  // left
    AppendLe16(out, 0);  // top
    AppendLe16(out, static_cast<std::uint16_t>(animation.width));
    AppendLe16(out, static_cast<std::uint16_t>(animation.height));
    out.push_back(0);  // no local colour table, not interlaced
    PaintOnCanvas(frame, animation.width, animation.height, BackgroundIndex(animation.colours),
                  canvas);
    PutLzw(out, canvas, *table);
  }
  out.push_back(kTrailer);
  return out;
}

}  // namespace vostrel
