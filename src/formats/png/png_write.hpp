// The PNG writer's parts that the PNG and the animated PNG writers share: numbers, chunks with
// their CRCs, the header chunks of an indexed image, its image data and the end.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "formats/indexed_image.hpp"
#include "formats/png/png_format.hpp"

namespace vostrel {

// Numbers big-endian, as PNG stores them.
void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t value);

// Appends a chunk: its length, its type, its data and the CRC of type and data. The data's two
// parts are written one after the other (fdAT's sequence number before its image data).
void PutChunk(std::vector<std::uint8_t>& out, std::string_view type,
              std::span<const std::uint8_t> head, std::span<const std::uint8_t> data = {});

// The signature and IHDR of an 8-bit image of colour type colourType, width x height (both 1 or
// more).
void PutSignatureAndHeader(std::vector<std::uint8_t>& out, std::int32_t width, std::int32_t height,
                           std::uint8_t colourType);

// The signature, IHDR, PLTE (all 256 colours) and, with a transparent index, tRNS of an 8-bit
// indexed image of width x height (both 1 or more).
void PutIndexedHeader(std::vector<std::uint8_t>& out, std::int32_t width, std::int32_t height,
                      const IndexedColours& colours);

// Compressed image data as IDAT chunks (one unless it is larger than a chunk should be), or, with
// a sequence number, as an animated PNG's fdAT chunks, numbered from *sequence on.
void PutImageData(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> compressed,
                  std::uint32_t* sequence = nullptr);

// The end chunk.
void PutEnd(std::vector<std::uint8_t>& out);

}  // namespace vostrel
