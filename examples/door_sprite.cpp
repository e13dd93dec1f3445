#include "door_sprite.hpp"

#include <cmath>

namespace vostrel::examples {

namespace {

constexpr std::int32_t kSize = 32;
constexpr std::int32_t kDirections = 8;
constexpr std::int32_t kFrames = 2;
constexpr std::uint8_t kBackground = 0;
constexpr std::uint8_t kArrow = 1;
constexpr std::uint8_t kRing = 2;
constexpr std::uint8_t kHighlight = 3;

struct Colour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

test::Bytes MakePalette(Colour background, Colour arrow, Colour ring, Colour highlight) {
  test::Bytes palette(1024, 0);
  const Colour colours[] = {background, arrow, ring, highlight};
  for (std::size_t i = 0; i < 4; ++i) {
    palette[i * 4] = colours[i].blue;
    palette[i * 4 + 1] = colours[i].green;
    palette[i * 4 + 2] = colours[i].red;
  }
  return palette;
}

// Direction 0 points up (north); each next one turns 45 degrees clockwise. Frame 1 pushes the
// arrow two pixels further out, so that the two frames play as a pulse.
test::Bytes DrawArrow(std::int32_t direction, std::int32_t frame) {
  test::Bytes pixels(static_cast<std::size_t>(kSize * kSize), kBackground);
  // Sines and cosines of multiples of 45 degrees from exact constants, so that the drawing comes
  // out bit for bit the same with every maths library.
  const double half = std::sqrt(0.5);
  const double sines[kDirections] = {0.0, half, 1.0, half, 0.0, -half, -1.0, -half};
  const double cosines[kDirections] = {1.0, half, 0.0, -half, -1.0, -half, 0.0, half};
  const double sine = sines[direction];
  const double cosine = cosines[direction];
  const double centre = (kSize - 1) / 2.0;
  const double shift = frame * 2.0;
  for (std::int32_t y = 0; y < kSize; ++y) {
    for (std::int32_t x = 0; x < kSize; ++x) {
      const double dx = x - centre;
      const double dy = centre - y;  // up is positive
      // Coordinates along (v) and across (u) the arrow.
      const double v = dx * sine + dy * cosine - shift;
      const double u = dx * cosine - dy * sine;
      const double radiusSquared = dx * dx + dy * dy;
      std::uint8_t colour = kBackground;
      if (radiusSquared >= 14.0 * 14.0 && radiusSquared < 15.5 * 15.5) {
        colour = kRing;
      }
      const bool shaft = std::abs(u) <= 1.5 && v >= -9.0 && v <= 4.0;
      const bool head = v > 4.0 && v <= 11.0 && std::abs(u) <= (11.0 - v) * 0.8;
      if (shaft || head) {
        colour = (head && std::abs(u) < 1.0) ? kHighlight : kArrow;
      }
      pixels[static_cast<std::size_t>(y * kSize + x)] = colour;
    }
  }
  return pixels;
}

}  // namespace

test::Bytes MakeDoorArt() {
  test::ArtSpec sprite;
  sprite.flags = 0;  // eight pictures, one per direction
  sprite.palettePresent = {1, 1, 0, 0};
  sprite.palettes = {MakePalette({250, 248, 240}, {30, 60, 160}, {150, 150, 150}, {120, 180, 255}),
                     MakePalette({16, 16, 32}, {250, 140, 20}, {70, 70, 90}, {255, 230, 120})};
  for (std::int32_t direction = 0; direction < kDirections; ++direction) {
    for (std::int32_t frame = 0; frame < kFrames; ++frame) {
      const test::Bytes pixels = DrawArrow(direction, frame);
      test::Bytes data = frame == 0 ? test::EncodeRle(pixels) : pixels;
      sprite.frames.emplace_back(kSize, kSize, std::move(data));
    }
  }
  return test::WriteArt(sprite);
}

}  // namespace vostrel::examples
