#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform.hpp"

namespace vostrel::platform {

std::string ExecutablePath() {
  // The module path has no fixed limit (long-path prefixes), so grow until it fits.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

MakeDirectoryResult MakeDirectory(const std::string& path) {
  if (_mkdir(path.c_str()) == 0) {
    return MakeDirectoryResult::kCreated;
  }
  return errno == ENOENT ? MakeDirectoryResult::kPathNotFound : MakeDirectoryResult::kOtherFailure;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(MAX_PATH);
  while (_getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) {
    if (errno != ERANGE) {
      return ".";
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

void WriteInputList() { std::system("dir /b *.art >art0101.lst"); }

void RemoveInputList() { std::system("del art0101.lst"); }

void ShowErrorMessage(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), "Error", 0);
}

}  // namespace vostrel::platform
