// Writes the sample sprite: make_door <output path>
#include <exception>
#include <iostream>

#include "door_sprite.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_door <output.art>\n";
    return 2;
  }
  try {
    vostrel::test::WriteFile(argv[1], vostrel::examples::MakeDoorArt());
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
