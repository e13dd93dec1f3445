#pragma once

#include "support/art_writer.hpp"

namespace vostrel::examples {

// The sample sprite that ships with the project: an arrow on a compass ring pointing in each of
// eight directions, two animation frames each, with a daylight and a night palette. Frame 0 of
// every direction is stored run-length encoded, frame 1 raw.
test::Bytes MakeDoorArt();

}  // namespace vostrel::examples
