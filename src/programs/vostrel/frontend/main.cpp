// vostrel's entry point.
#include <iostream>

#include "platform/platform.hpp"
#include "programs/vostrel/frontend/cli.hpp"

int main(int argc, char** argv) {
  // Standard error stays unbuffered and tied to standard output (flushing it before every
  // write), so the two streams keep their order on a shared console.
  std::ios::sync_with_stdio(false);
  vostrel::platform::KeepFreedMemory();
  return vostrel::Run(argc, argv, vostrel::platform::StandardConsole());
}
