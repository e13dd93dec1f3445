// A PNG's pixels through libspng, a decoder written for untrusted input: indices as the file
// stores them for an indexed PNG, RGB or RGBA of 8 bits a channel for any other.
#include <spng.h>

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "formats/png/png_read.hpp"

namespace vostrel::picture_detail {
namespace {

// Room beyond the file's own size for what the library keeps of ancillary chunks: text and
// colour profiles it inflates may hold more than their compressed bytes.
constexpr std::size_t kChunkCacheSlack = std::size_t{64} << 10;
constexpr std::uint8_t kSixteenBits = 16;

using Context = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;

void Check(int error) {
  // Memory the system refuses the library is exhausted memory, never a damaged picture.
  if (error == SPNG_EMEM) {
    throw std::bad_alloc();
  }
  if (error != 0) {
    Refuse(std::string("cannot be read as a PNG (") + spng_strerror(error) + ")" + kSaveAgain);
  }
}

}  // namespace

RgbPicture DecodePngWithLibspng(std::span<const std::uint8_t> bytes, const PngChunks& /*chunks*/,
                                std::uint64_t maxPixels, std::int32_t channels) {
  // Checksums are not checked (as editors and viewers commonly do not): a damaged chunk shows in
  // what it decodes to, and its data is checked as any other.
  const Context ctx(spng_ctx_new(SPNG_CTX_IGNORE_ADLER32), spng_ctx_free);
  if (!ctx) {
    throw std::bad_alloc();
  }
  Check(spng_set_crc_action(ctx.get(), SPNG_CRC_USE, SPNG_CRC_USE));
  // No chunk holds more than the file, and what the library keeps of chunks is bounded by it.
  Check(spng_set_chunk_limits(ctx.get(), bytes.size(), 2 * bytes.size() + kChunkCacheSlack));
  Check(spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()));
  spng_ihdr ihdr{};
  Check(spng_get_ihdr(ctx.get(), &ihdr));
  if (ihdr.bit_depth == kSixteenBits) {
    Refuse("is a PNG of 16 bits per channel; save it with 8 bits per channel");
  }
  CheckPixelCount(ihdr.width, ihdr.height, maxPixels);

  RgbPicture picture;
  picture.width = static_cast<std::int32_t>(ihdr.width);
  picture.height = static_cast<std::int32_t>(ihdr.height);
  const bool indexed = ihdr.color_type == SPNG_COLOR_TYPE_INDEXED;
  const int format = indexed ? SPNG_FMT_PNG : channels == 4 ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
  std::size_t size = 0;
  Check(spng_decoded_image_size(ctx.get(), format, &size));
  std::vector<std::uint8_t> decoded(size);
  Check(spng_decode_image(ctx.get(), decoded.data(), size, format, indexed ? 0 : SPNG_DECODE_TRNS));
  if (indexed) {
    // Rows of indices as the file packs them, each starting on a byte.
    const std::size_t width = ihdr.width;
    const std::size_t stride = decoded.size() / ihdr.height;
    picture.indices.resize(picture.PixelCount());
    for (std::size_t y = 0; y < ihdr.height; ++y) {
      UnpackIndices(std::span(decoded).subspan(y * stride, stride), ihdr.bit_depth,
                    std::span(picture.indices).subspan(y * width, width));
    }
  } else {
    picture.channels = channels;
    picture.pixels = std::move(decoded);
  }
  return picture;
}

}  // namespace vostrel::picture_detail
