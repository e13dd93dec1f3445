// Writes the starting corpus of each fuzz target into OUTDIR/art_pipeline, OUTDIR/rle,
// OUTDIR/bmp, OUTDIR/picture, OUTDIR/sheet_pack and OUTDIR/sheet_make: valid .ART files of both
// layouts with zero to four palettes and raw and run-length frames, run-length streams with their
// parameters, BMP parameters, and pictures in every format vostrel-pack takes. Generated at build
// time, so no binary corpus has to be kept in the repository.

#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"

namespace {

using vostrel::test::ArtFrameSpec;
using vostrel::test::ArtSpec;
using vostrel::test::Bytes;
using vostrel::test::EncodeRle;
using vostrel::test::MakePixels;

// Pixels with long runs as well as noise, so that their run-length coding has both kinds of run.
Bytes Stripes(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  Bytes pixels = MakePixels(width, height, seed);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if ((i / 9) % 2 == 0) {
      pixels[i] = seed;
    }
  }
  return pixels;
}

ArtFrameSpec RawFrame(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  return {width, height, MakePixels(width, height, seed)};
}

ArtFrameSpec RleFrame(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  return {width, height, EncodeRle(Stripes(width, height, seed))};
}

ArtSpec WithPalettes(ArtSpec sprite, std::int32_t count) {
  for (std::int32_t k = 0; k < count; ++k) {
    sprite.palettePresent[static_cast<std::size_t>(k)] = 1;
    sprite.palettes.push_back(vostrel::test::MakePalette(static_cast<std::uint8_t>(k + 1)));
  }
  return sprite;
}

std::vector<std::pair<std::string, Bytes>> ArtSeeds() {
  std::vector<std::pair<std::string, Bytes>> seeds;
  for (std::int32_t palettes = 0; palettes <= 4; ++palettes) {
    const std::string suffix = "_p" + std::to_string(palettes) + ".art";
    // One-frame layout: a raw frame, a run-length one and an empty one.
    ArtSpec single;
    single.flags = 1;
    single.frames = {RawFrame(3, 2, 1), RleFrame(9, 5, 2), {0, 0, {}}};
    seeds.emplace_back("single" + suffix, vostrel::test::WriteArt(WithPalettes(single, palettes)));
    // Eight-picture layout (flags 0 and 2), two frames a picture, raw and run-length mixed.
    for (const std::int32_t flags : {0, 2}) {
      ArtSpec eight;
      eight.flags = flags;
      for (std::uint8_t n = 0; n < 16; ++n) {
        eight.frames.push_back(n % 2 == 0 ? RawFrame(2, 3, n) : RleFrame(4, 4, n));
      }
      seeds.emplace_back("eight_f" + std::to_string(flags) + suffix,
                         vostrel::test::WriteArt(WithPalettes(eight, palettes)));
    }
  }
  // Only the last presence word set: four palettes all the same.
  ArtSpec sparse = WithPalettes(ArtSpec{}, 4);
  sparse.palettePresent = {0, 0, 0, 7};
  sparse.frames = {RleFrame(6, 6, 3)};
  seeds.emplace_back("sparse_presence.art", vostrel::test::WriteArt(sparse));
  // A wide frame whose rows need no padding and a tall one whose rows need three bytes.
  ArtSpec shapes = WithPalettes(ArtSpec{}, 1);
  shapes.frames = {RleFrame(64, 2, 4), RawFrame(1, 40, 5)};
  seeds.emplace_back("shapes.art", vostrel::test::WriteArt(shapes));
  return seeds;
}

Bytes RleSeed(std::uint8_t mode, std::uint16_t outputSize, const Bytes& block) {
  Bytes seed{mode,
             0,
             0,
             0,
             0,
             static_cast<std::uint8_t>(outputSize & 0xFFu),
             static_cast<std::uint8_t>(outputSize >> 8),
             0xA5};
  seed.insert(seed.end(), block.begin(), block.end());
  return seed;
}

std::vector<std::pair<std::string, Bytes>> RleSeeds() {
  const Bytes stripes = EncodeRle(Stripes(16, 8, 7));
  const Bytes noise = EncodeRle(MakePixels(10, 10, 3));
  return {
      {"exact.rle", RleSeed(1, 128, stripes)},       {"short_output.rle", RleSeed(1, 100, stripes)},
      {"short_block.rle", RleSeed(2, 128, stripes)}, {"long_announced.rle", RleSeed(3, 128, noise)},
      {"literals.rle", RleSeed(1, 100, noise)},
  };
}

Bytes BmpSeed(std::uint8_t flags, std::uint16_t width, std::uint16_t height, std::uint16_t entries,
              std::uint8_t spare, std::uint8_t refuseAt) {
  Bytes seed{flags,
             static_cast<std::uint8_t>(width & 0xFFu),
             static_cast<std::uint8_t>(width >> 8),
             static_cast<std::uint8_t>(height & 0xFFu),
             static_cast<std::uint8_t>(height >> 8),
             static_cast<std::uint8_t>(entries & 0xFFu),
             static_cast<std::uint8_t>(entries >> 8),
             spare,
             refuseAt};
  const Bytes palette = vostrel::test::MakePalette(9);
  seed.insert(seed.end(), palette.begin(), palette.begin() + entries * 4);
  const Bytes pixels = MakePixels(width, height, 11);
  seed.insert(seed.end(), pixels.begin(), pixels.end());
  return seed;
}

std::vector<std::pair<std::string, Bytes>> BmpSeeds() {
  return {
      {"pad0.bmpin", BmpSeed(0, 8, 3, 256, 0, 0)},
      {"pad1.bmpin", BmpSeed(0, 7, 4, 256, 2, 0)},
      {"pad2.bmpin", BmpSeed(0, 6, 5, 16, 0, 0)},
      {"pad3.bmpin", BmpSeed(0, 5, 6, 0, 1, 0)},
      {"refusing.bmpin", BmpSeed(16, 3, 20, 256, 0, 4)},
      {"empty.bmpin", BmpSeed(0, 0, 0, 256, 0, 0)},
  };
}

// The run-length stream of a compressed BMP of the picture: its bottom row as an absolute run,
// the others a run a pixel, each row ended.
Bytes RleStream(const vostrel::test::IndexedPicture& picture, unsigned bits) {
  const auto width = static_cast<std::size_t>(picture.width);
  Bytes stream;
  for (std::size_t row = static_cast<std::size_t>(picture.height); row-- > 0;) {
    const auto indices = std::span(picture.indices).subspan(row * width, width);
    if (row + 1 == static_cast<std::size_t>(picture.height)) {
      Bytes packed;
      for (std::size_t x = 0; x < width; ++x) {
        if (bits == 8) {
          packed.push_back(indices[x]);
        } else if (x % 2 == 0) {
          packed.push_back(static_cast<std::uint8_t>(indices[x] << 4));
        } else {
          packed.back() = static_cast<std::uint8_t>(packed.back() | indices[x]);
        }
      }
      stream.insert(stream.end(), {0, static_cast<std::uint8_t>(width)});
      stream.insert(stream.end(), packed.begin(), packed.end());
      stream.resize(stream.size() + packed.size() % 2, 0);
    } else {
      for (const std::uint8_t index : indices) {
        stream.insert(stream.end(), {1, static_cast<std::uint8_t>(bits == 8 ? index : index << 4)});
      }
    }
    stream.insert(stream.end(), {0, 0});
  }
  stream.insert(stream.end(), {0, 1});
  return stream;
}

// Pictures of the colours of the fuzz palette of seed 5, in every format the packer takes.
std::vector<std::pair<std::string, Bytes>> PictureSeeds() {
  constexpr std::uint8_t kSeed = 5;
  const Bytes table = vostrel::fuzz::FuzzPalette(kSeed);
  const vostrel::test::IndexedPicture indexed{5, 3, MakePixels(5, 3, 1), table};
  const vostrel::test::IndexedPicture shortTable{
      7, 2, Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
      Bytes(table.begin(), table.begin() + 64)};
  vostrel::test::IndexedPicture fourBits = indexed;
  vostrel::test::IndexedPicture oneBit = indexed;
  for (std::size_t i = 0; i < indexed.indices.size(); ++i) {
    fourBits.indices[i] = static_cast<std::uint8_t>(indexed.indices[i] % 16);
    oneBit.indices[i] = static_cast<std::uint8_t>(indexed.indices[i] % 2);
  }
  // PLTE data (red, green, blue an entry) of the table's first `entries` entries.
  const auto plte = [&](std::size_t entries) {
    Bytes data;
    for (std::size_t i = 0; i < entries; ++i) {
      data.insert(data.end(), {table[i * 4 + 2], table[i * 4 + 1], table[i * 4]});
    }
    return data;
  };
  const Bytes rgb = vostrel::test::Colours(indexed.indices, table);
  const Bytes rgba = vostrel::test::Colours(indexed.indices, table, 4);
  const auto seed = [](std::uint8_t flags, const Bytes& file) {
    Bytes input{flags, kSeed};
    input.insert(input.end(), file.begin(), file.end());
    return input;
  };
  const Bytes indexedPng = vostrel::test::WritePalettePng(indexed, 256);
  return {
      {"bmp8.pic", seed(1, vostrel::test::WriteBmp8(indexed))},
      {"bmp8_top_down_short_table.pic", seed(2, vostrel::test::WriteBmp8(shortTable, true))},
      {"bmp24.pic", seed(0, vostrel::test::WriteBmpRgb(5, 3, rgb, 24))},
      {"bmp32.pic", seed(3, vostrel::test::WriteBmpRgb(5, 3, rgb, 32, true))},
      {"png_rgb.pic", seed(9, vostrel::test::WritePng(5, 3, 3, rgb))},
      {"png_rgba.pic", seed(0, vostrel::test::WritePng(5, 3, 4, rgba))},
      {"png_grey.pic", seed(2, vostrel::test::WritePng(5, 3, 1, MakePixels(5, 3, 7)))},
      {"bmp4.pic", seed(1, vostrel::test::WriteBmpIndexed(fourBits, 4))},
      {"bmp1.pic", seed(0, vostrel::test::WriteBmpIndexed(oneBit, 1))},
      {"bmp_rle8.pic", seed(1, vostrel::test::WriteBmpRle(indexed, 8, RleStream(indexed, 8)))},
      {"bmp_rle4.pic", seed(0, vostrel::test::WriteBmpRle(fourBits, 4, RleStream(fourBits, 4)))},
      {"bmp32_masks56.pic", seed(2, vostrel::test::WriteBmpMasked(5, 3, rgb, 56))},
      {"png_indexed.pic", seed(1, indexedPng)},
      {"png_indexed_trns.pic",
       seed(0, vostrel::test::WithPngChunk(vostrel::test::WritePalettePng(fourBits, 16), "tRNS",
                                           Bytes{255, 255, 255}))},
      {"png_rgb_colour_key.pic",
       seed(2, vostrel::test::WithPngChunk(vostrel::test::WritePng(5, 3, 3, rgb), "tRNS",
                                           Bytes{0, 1, 0, 2, 0, 3}))},
      {"png_indexed_4bit.pic",
       seed(8, vostrel::test::WritePackedPng(5, 3, 4, 3, fourBits.indices, plte(16)))},
      {"png_indexed_1bit.pic",
       seed(2, vostrel::test::WritePackedPng(5, 3, 1, 3, oneBit.indices, plte(2)))},
      // Transparency kept (flags bit 2): an indexed one with alpha per entry, and RGBA.
      {"png_indexed_trns_kept.pic",
       seed(4, vostrel::test::WithPngChunk(vostrel::test::WritePalettePng(fourBits, 16), "tRNS",
                                           Bytes{255, 0, 128}))},
      {"png_rgba_kept.pic", seed(13, vostrel::test::WritePng(5, 3, 4, MakePixels(5, 3 * 4, 3)))},
      // Each once reached a fault inside an image library: a data chunk said to be 2 GiB, and
      // IHDR, PLTE, tRNS and one empty data chunk.
      {"png_data_chunk_2gib.pic",
       seed(1, vostrel::test::WithPngChunkLength(vostrel::test::WritePng(5, 3, 3, rgb), "IDAT",
                                                 0x80000000))},
      // All the rows, then no end chunk; more data than the rows need. Flags of 8 and more take
      // the other PNG decoder.
      {"png_no_end.pic", seed(8, Bytes(indexedPng.begin(), indexedPng.end() - 12))},
      {"png_data_past_rows.pic",
       seed(9, vostrel::test::WritePngRows(5, 3, 8, 3, Bytes(6 * 3 * 2, 0), plte(16)))},
      {"png_only_data_chunk_empty.pic",
       seed(1, vostrel::test::WithPngChunkData(
                   vostrel::test::WithPngChunk(
                       vostrel::test::WritePackedPng(5, 3, 8, 3, fourBits.indices, plte(11)),
                       "tRNS", Bytes{255, 0}),
                   "IDAT", {}))},
  };
}

// A manifest and sheet of the sheet_pack target's fixed sprite (eight pictures of one 2 x 2
// frame, one palette) as vostrel-sheet lays them out: one column, padding 1, so the sheet is
// 4 x 25 and frame p lies at x 1, y 1 + 3p. Its indices are those of the target's frames, so
// the seed packs to the original; a second seed edits a pixel, a third grows a frame, and a fourth
// gives sheets of 40000 x 40000 whose data holds one row.
std::vector<std::pair<std::string, Bytes>> SheetPackSeeds() {
  constexpr int kPictures = 8;
  const auto manifest = [&](int grownHeight, const std::string& image = "d_0.png",
                            int sheetWidth = 4, int sheetHeight = 25) {
    std::string frames;
    std::string stored;
    for (int p = 0; p < kPictures; ++p) {
      const int h = p == 7 ? grownHeight : 2;
      frames += std::string(p == 0 ? "" : ",") + "{\"filename\": \"" + std::to_string(p) +
                "\", \"frame\": {\"x\": 1, \"y\": " + std::to_string(1 + 3 * p) +
                ", \"w\": 2, \"h\": " + std::to_string(h) + "}}";
      stored +=
          std::string(p == 0 ? "" : ",") + "{\"width\": 2, \"height\": 2, \"storage\": \"raw\"}";
    }
    return "{\"frames\": [" + frames +
           "], \"meta\": {\"version\": \"0.1\", \"size\": {\"w\": " + std::to_string(sheetWidth) +
           ", \"h\": " + std::to_string(sheetHeight) +
           "}, "
           "\"vostrel\": {\"source\": \"d.art\", \"pictures\": 8, \"framesPerPicture\": 1, "
           "\"palettes\": 1, \"transparent\": 0, \"padding\": 1, \"columns\": 1, \"fps\": 8, "
           "\"sheets\": [{\"image\": \"" +
           image + "\", \"palette\": 0}], \"frames\": [" + stored + "]}}}";
  };
  vostrel::test::IndexedPicture sheet{4, 25, Bytes(100, 0), Bytes(1024, 0)};
  for (int p = 0; p < kPictures; ++p) {
    for (int i = 0; i < 4; ++i) {
      sheet.indices[static_cast<std::size_t>((1 + 3 * p + i / 2) * 4 + 1 + i % 2)] =
          static_cast<std::uint8_t>(p * 4 + i);
    }
  }
  // The palette of the target's sprite is its own; the seed's table agrees with it nowhere, so
  // colours are mapped, and the mutations find the indexed path through tRNS and PLTE.
  const auto seedOf = [](const std::string& text, const Bytes& png) {
    Bytes bytes{static_cast<std::uint8_t>(text.size()),
                static_cast<std::uint8_t>(text.size() >> 8)};
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), png.begin(), png.end());
    return bytes;
  };
  const auto seed = [&](const std::string& text, const vostrel::test::IndexedPicture& picture) {
    return seedOf(text, vostrel::test::WithPngChunk(vostrel::test::WritePalettePng(picture, 256),
                                                    "tRNS", Bytes{0}));
  };
  // The header: flags 1 (a picture a frame), palette 0 present, 8 frames; the rest arbitrary.
  std::string header = "[1";
  for (int word = 1; word < 33; ++word) {
    header += ", " + std::to_string(word == 3 ? 1 : word == 8 ? kPictures : word * 7 - 100);
  }
  std::string withWords = manifest(2);
  withWords.insert(withWords.find("\"sheets\""), "\"header\": " + header + "], ");
  const std::string raw = "\"storage\": \"raw\"";
  for (std::size_t at = 0; (at = withWords.find(raw, at)) != std::string::npos;) {
    at += raw.size();
    withWords.insert(at, ", \"words\": [1, -2, 3, 2147483647]");
  }
  std::string tags;
  std::string listed;
  for (int p = 0; p < kPictures; ++p) {
    tags += std::string(p == 0 ? "" : ",") + "{\"name\": \"d" + std::to_string(p) +
            "\", \"from\": " + std::to_string(p) + ", \"to\": " + std::to_string(p) + "}";
    listed += std::string(p == 0 ? "" : ",") +
              "{\"frame\": {\"x\": 1, \"y\": " + std::to_string(1 + 3 * p) +
              ", \"w\": 2, \"h\": 2}}";
  }
  const std::string editorTags = "{\"frames\": [" + listed +
                                 "], \"meta\": {\"image\": \"d_0.png\", \"frameTags\": [" + tags +
                                 "]}}";
  const std::string editorHash =
      "{\"frames\": {\"b\": {\"frame\": {\"x\": 1, \"y\": 1, \"w\": 2, \"h\": 2}}, "
      "\"a\": {\"frame\": {\"x\": 1, \"y\": 4, \"w\": 2, \"h\": 2}, \"trimmed\": true, "
      "\"sourceSize\": {\"w\": 3, \"h\": 4}, \"spriteSourceSize\": {\"x\": 1, \"y\": 1, "
      "\"w\": 2, \"h\": 2}}}, \"meta\": {\"image\": \"d_0.png\"}}";
  vostrel::test::IndexedPicture edited = sheet;
  edited.indices[5] = 200;
  // A sheet of the size its manifest gives, 40000 x 40000, whose data holds one row of it.
  const Bytes hollow =
      vostrel::test::WritePngRows(40000, 40000, 8, 3, Bytes(40001, 0), Bytes(768, 0));
  return {{"unedited.sheet", seed(manifest(2), sheet)},
          {"edited.sheet", seed(manifest(2), edited)},
          {"grown.sheet", seed(manifest(3), sheet)},
          {"huge_ihdr.sheet", seedOf(manifest(2, "d_0.png", 40000, 40000), hollow)},
          // A sheet's name holding a NUL, which the system would cut to another file's name.
          {"name_nul.sheet", seed(manifest(2, "d_0.png\\u0000.txt"), sheet)},
          // For a new sprite: ours with the words of the whole file, and a sprite editor's
          // manifests, a tag a picture in the array form, a trimmed frame in the hash form.
          {"new_words.sheet", seed(withWords, sheet)},
          {"new_editor_tags.sheet", seed(editorTags, sheet)},
          {"new_editor_hash_trimmed.sheet", seed(editorHash, sheet)}};
}

// The .ART seeds, and files whose outputs reach a limit: a few bytes of run-length stream for
// a frame wider than a GIF may be, among small frames (eight pictures of two frames, as a
// damaged file once had them), whose sheet would take a gigabyte.
std::vector<std::pair<std::string, Bytes>> SheetMakeSeeds() {
  std::vector<std::pair<std::string, Bytes>> seeds = ArtSeeds();
  ArtSpec wide = WithPalettes(ArtSpec{}, 1);
  wide.flags = 2;
  const std::vector<std::array<std::int32_t, 3>> frames = {
      {7, 1, 7},  {4, 9, 36}, {5, 7, 35}, {6291457, 7, 7}, {6, 0, 0},  {9, 4, 31},
      {6, 3, 18}, {3, 6, 19}, {4, 7, 28}, {5, 4, 17},      {5, 8, 35}, {0, 9, 0},
      {8, 6, 45}, {4, 7, 29}, {2, 7, 14}, {6, 9, 54}};
  for (std::size_t n = 0; n < frames.size(); ++n) {
    const auto [width, height, size] = frames[n];
    wide.frames.emplace_back(width, height, MakePixels(size, 1, static_cast<std::uint8_t>(n)));
  }
  seeds.emplace_back("gif_too_wide.art", vostrel::test::WriteArt(wide));
  return seeds;
}

void WriteAll(const std::filesystem::path& dir,
              const std::vector<std::pair<std::string, Bytes>>& seeds) {
  std::filesystem::create_directories(dir);
  for (const auto& [name, bytes] : seeds) {
    vostrel::test::WriteFile((dir / name).string(), bytes);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  try {
    const std::filesystem::path out = argv[1];
    WriteAll(out / "art_pipeline", ArtSeeds());
    WriteAll(out / "rle", RleSeeds());
    WriteAll(out / "bmp", BmpSeeds());
    WriteAll(out / "picture", PictureSeeds());
    WriteAll(out / "sheet_pack", SheetPackSeeds());
    WriteAll(out / "sheet_make", SheetMakeSeeds());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
