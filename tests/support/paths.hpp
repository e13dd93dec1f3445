// Paths written in tests with '/' and turned into the build's own form.
#pragma once

#include <algorithm>
#include <string>

#include "io/path.hpp"

namespace vostrel::test {

// Writes a path with '/' and gets it with the build's own separator, so one test text serves
// both builds.
inline std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

}  // namespace vostrel::test
