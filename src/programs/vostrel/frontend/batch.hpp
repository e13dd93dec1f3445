// Batch mode's conversion of a list of files on several threads.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/files.hpp"

namespace vostrel {

struct BatchFile {
  std::string path;  // what the conversion opens
  std::string name;  // as listed, for the failure message
};

// What the stem of a listed name must not share with another file's for the two to be converted
// at the same time: the stem with ASCII letters in lower case.
std::string CollisionKey(const std::string& name);

// Converts files into destDir on up to workers threads, with everything written to console
// exactly as converting them one after another writes it. With reportFailures, each file that
// fails is reported through showMessage in its turn. True when every file converted. Should
// anything throw on a worker, the batch still ends: the file it was on counts as closed and
// done, the other workers finish the list, and the first exception is thrown again here.
bool ConvertBatch(const std::vector<BatchFile>& files, const std::string& destDir,
                  bool reportFailures, std::size_t workers, Console& console, Files& fileAccess,
                  const std::function<void(const std::string&)>& showMessage);

}  // namespace vostrel
