// PNG files from plain values: 8-bit indexed ones (colour type 3) with the whole 256-colour
// palette in PLTE, the indices as given and a tRNS chunk that makes one index alone transparent;
// and 8-bit RGB ones, for pictures shown in colours.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/indexed_image.hpp"
#include "formats/png/deflate.hpp"
#include "formats/png/png_format.hpp"

namespace vostrel {

// The compressed image data of plane (its rows, each after filter byte 0; indexed sprites
// compress best unfiltered): what the IDAT chunks hold, in the compressor's buffer until its
// next call. Pictures that differ only in their palette share it, so it is made once.
std::span<const std::uint8_t> CompressPngRows(const IndexedPlane& plane,
                                              ZlibCompressor& compressor);

// A whole PNG file of a width x height image (both 1 or more) whose compressed rows are given.
std::vector<std::uint8_t> AssembleIndexedPng(std::int32_t width, std::int32_t height,
                                             std::span<const std::uint8_t> compressedRows,
                                             const IndexedColours& colours);

// CompressPngRows and AssembleIndexedPng in one.
std::vector<std::uint8_t> EncodeIndexedPng(const IndexedPlane& plane, const IndexedColours& colours,
                                           ZlibCompressor& compressor);

// An 8-bit RGB PNG of plane in the colours of palette (kPaletteBytes bytes: blue, green,
// red, unused), each row filtered with whichever of the five filters leaves the least to
// compress and the whole compressed by stb_image_write's compressor: the bytes that
// stb_image_write itself writes. Empty when it is too large for that compressor (more than
// 2^31 - 1 bytes of rows).
std::vector<std::uint8_t> EncodeRgbPng(const IndexedPlane& plane,
                                       std::span<const std::uint8_t> palette);

}  // namespace vostrel
