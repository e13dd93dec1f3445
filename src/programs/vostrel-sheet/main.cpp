// vostrel-sheet's entry point: the real file system, one worker a usable CPU (or as many as
// VOSTREL_WORKERS says, as for vostrel's batch mode), and the destination made if missing.
#include <charconv>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "io/files.hpp"
#include "platform/platform.hpp"
#include "programs/vostrel-sheet/sheet_cli.hpp"

namespace {

std::size_t WorkerCount() {
  if (const char* forced = std::getenv("VOSTREL_WORKERS")) {
    std::size_t count = 0;
    const std::string_view text = forced;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error == std::errc() && end == text.data() + text.size() && count > 0) {
      return count;
    }
  }
  return vostrel::platform::UsableCpuCount();
}

std::optional<std::string> MakeDestination(const std::string& path) {
  vostrel::Files& files = vostrel::platform::SystemFiles();
  if (files.StatusOf(path).kind != vostrel::PathKind::kDirectory &&
      vostrel::platform::MakeDirectory(path) ==
          vostrel::platform::MakeDirectoryResult::kPathNotFound) {
    return "cannot create this directory, as its parent does not exist; create that first";
  }
  const vostrel::PathStatus status = files.StatusOf(path);
  if (status.kind != vostrel::PathKind::kDirectory) {
    return status.kind == vostrel::PathKind::kMissing
               ? std::string("cannot create this directory; check the rights on its parent")
               : std::string("is not a directory; give a directory to write into");
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  // One sheet's buffers are about as large as the next file's: keep them rather than fault
  // them in again for every file.
  vostrel::platform::KeepFreedMemory();
  return vostrel::RunSheet(argc, argv, std::cout, std::cerr, vostrel::platform::SystemFiles(),
                           WorkerCount(), MakeDestination);
}
