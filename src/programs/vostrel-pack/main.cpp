// vostrel-pack's entry point.
#include <iostream>

#include "programs/vostrel-pack/pack_cli.hpp"

int main(int argc, char** argv) { return vostrel::RunPack(argc, argv, std::cout, std::cerr); }
