#include "frontend/batch.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "convert/convert.hpp"
#include "frontend/ordered_console.hpp"
#include "image/path.hpp"

namespace vostrel {

namespace {

#if defined(__cpp_lib_jthread)
using JoiningThread = std::jthread;
#else
// The WebAssembly build's C++ library has no std::jthread; the pool needs only its join on
// destruction.
class JoiningThread {
 public:
  template <class F>
  explicit JoiningThread(F&& f) : thread_(std::forward<F>(f)) {}
  JoiningThread(JoiningThread&&) noexcept = default;
  JoiningThread& operator=(JoiningThread&&) = delete;
  ~JoiningThread() {
    if (thread_.joinable()) {
      thread_.join();
    }
  }

 private:
  std::thread thread_;
};
#endif

// For every file, the one before it in the list whose BMPs could carry the same names, which
// must be done before it starts. A BMP is named stem + "_p_f_k.bmp", where p, f and k are decimal
// numbers without sign or leading zero: reading a name from its end, ".bmp" and the three
// "_number" groups come off in exactly one way, and what is left is the stem. So two different
// stems can never give the same name; only equal ones can, and on a file system that ignores
// case, stems that differ only in case.
std::vector<std::optional<std::size_t>> PredecessorsWithSameStem(
    const std::vector<BatchFile>& files) {
  std::vector<std::optional<std::size_t>> before(files.size());
  std::map<std::string, std::size_t> lastWithKey;
  for (std::size_t index = 0; index < files.size(); ++index) {
    const auto [at, inserted] = lastWithKey.try_emplace(CollisionKey(files[index].name), index);
    if (!inserted) {
      before[index] = at->second;
      at->second = index;
    }
  }
  return before;
}

}  // namespace

std::string CollisionKey(const std::string& name) {
  std::string stem = name;
  StripDirectory(stem);
  CutAtLastDot(stem);
  std::transform(stem.begin(), stem.end(), stem.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return stem;
}

bool ConvertBatch(const std::vector<BatchFile>& files, const std::string& destDir,
                  bool reportFailures, std::size_t workers, Console& console,
                  const std::function<void(const std::string&)>& showMessage) {
  OrderedConsole ordered(console, showMessage, files.size());
  const std::vector<std::optional<std::size_t>> before = PredecessorsWithSameStem(files);
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  std::vector<bool> done(files.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> allConverted{true};

  // Files are taken in list order, so the file that one waits for has always been taken by a
  // worker already: the wait always ends.
  const auto work = [&] {
    for (std::size_t index = next++; index < files.size(); index = next++) {
      if (before[index]) {
        std::unique_lock lock(doneMutex);
        doneChanged.wait(lock, [&] { return done[*before[index]]; });
      }
      if (!ConvertArtFile(files[index].path, destDir, ordered.Lane(index))) {
        allConverted = false;
        if (reportFailures) {
          ordered.ShowMessage(index, "Could not convert " + files[index].name +
                                         ". It may possibly have multiple palettes.");
        }
      }
      ordered.Close(index);
      {
        const std::lock_guard lock(doneMutex);
        done[index] = true;
      }
      doneChanged.notify_all();
    }
  };

  const std::size_t threads =
      std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(files.size(), 1));
  {
    std::vector<JoiningThread> pool;
    for (std::size_t n = 1; n < threads; ++n) {
      pool.emplace_back(work);
    }
    work();
  }
  return allConverted;
}

}  // namespace vostrel
