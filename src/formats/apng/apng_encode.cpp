// The animated PNG writer (see apng_encode.hpp), on the PNG writer's chunks.
#include "formats/apng/apng_encode.hpp"

#include <stdexcept>

#include "formats/png/png_encode.hpp"
#include "formats/png/png_write.hpp"

namespace vostrel {

namespace {

// acTL's num_plays 0: the animation loops forever.
constexpr std::uint32_t kPlayForever = 0;
// fcTL's dispose_op 1: the frame's region is cleared to transparent black before the next;
// blend_op 0: the frame replaces what it covers.
constexpr std::uint8_t kDisposeBackground = 1;
constexpr std::uint8_t kBlendSource = 0;

}  // namespace

std::vector<std::uint8_t> EncodeApng(const Animation& animation, ZlibCompressor& compressor) {
  if (animation.frames.empty() || animation.fps < 1 ||
      animation.fps > static_cast<std::int32_t>(UINT16_MAX)) {
    throw std::invalid_argument("an animated PNG needs a frame and a rate of 1 or more");
  }
  std::vector<std::uint8_t> out;
  PutIndexedHeader(out, animation.width, animation.height, animation.colours);
  std::vector<std::uint8_t> actl;
  PutBe32(actl, static_cast<std::uint32_t>(animation.frames.size()));
  PutBe32(actl, kPlayForever);
  PutChunk(out, kPngActl, actl);

  std::uint32_t sequence = 0;
  std::vector<std::uint8_t> canvas;
  for (std::size_t i = 0; i < animation.frames.size(); ++i) {
    std::vector<std::uint8_t> fctl;
    PutBe32(fctl, sequence++);
    PutBe32(fctl, static_cast<std::uint32_t>(animation.width));
    PutBe32(fctl, static_cast<std::uint32_t>(animation.height));
    PutBe32(fctl, 0);  // x offset
    PutBe32(fctl, 0);  // y offset
    PutBe16(fctl, 1);  // delay: 1 / fps seconds
    PutBe16(fctl, static_cast<std::uint16_t>(animation.fps));
    fctl.push_back(kDisposeBackground);
    fctl.push_back(kBlendSource);
    PutChunk(out, kPngFctl, fctl);

    PaintOnCanvas(animation.frames[i], animation.width, animation.height,
                  BackgroundIndex(animation.colours), canvas);
    const IndexedPlane whole{animation.width, animation.height,
                             static_cast<std::size_t>(animation.width), canvas};
    // The first frame is the default image as well, in IDAT, so viewers without APNG show it;
    // the others are in numbered fdAT chunks.
    PutImageData(out, CompressPngRows(whole, compressor), i == 0 ? nullptr : &sequence);
  }
  PutEnd(out);
  return out;
}

}  // namespace vostrel
