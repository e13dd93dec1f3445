// 8-bit indexed PNG files (colour type 3) and animated PNGs of them, from plain values: the
// whole 256-colour palette in PLTE, the indices as given, and a tRNS chunk that makes one index
// alone transparent.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/indexed_image.hpp"
#include "formats/png/deflate.hpp"

namespace vostrel {

// The filter byte before every row of our PNGs: 0, none. Indexed sprites compress best
// unfiltered.
inline constexpr std::uint8_t kPngFilterNone = 0;

// The compressed image data of plane (its rows, each after filter byte 0): what the IDAT
// chunks hold, in the compressor's buffer until its next call. Pictures that differ only in
// their palette share it, so it is made once.
std::span<const std::uint8_t> CompressPngRows(const IndexedPlane& plane,
                                              ZlibCompressor& compressor);

// A whole PNG file of a width x height image (both 1 or more) whose compressed rows are given.
std::vector<std::uint8_t> AssembleIndexedPng(std::int32_t width, std::int32_t height,
                                             std::span<const std::uint8_t> compressedRows,
                                             const IndexedColours& colours);

// CompressPngRows and AssembleIndexedPng in one.
std::vector<std::uint8_t> EncodeIndexedPng(const IndexedPlane& plane, const IndexedColours& colours,
                                           ZlibCompressor& compressor);

// An animated PNG that plays forever: every frame painted on the whole canvas, shown for
// 1 / fps seconds, then cleared (disposal to background). The canvas must be 1 x 1 or more and
// fps 1 or more, with at least one frame.
std::vector<std::uint8_t> EncodeApng(const Animation& animation, ZlibCompressor& compressor);

}  // namespace vostrel
