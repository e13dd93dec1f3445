// Batch mode's conversion of a list of files on several threads, in list order as far as
// anyone can see.
#include "programs/vostrel/frontend/batch.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "io/path.hpp"
#include "programs/vostrel/convert/convert.hpp"
#include "programs/vostrel/frontend/ordered_console.hpp"
#include "programs/vostrel/image/path_helpers.hpp"

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
  std::transform(stem.begin(), stem.end(), stem.begin(), LowerAscii);
  return stem;
}

bool ConvertBatch(const std::vector<BatchFile>& files, const std::string& destDir,
                  bool reportFailures, std::size_t workers, Console& console, Files& fileAccess,
                  const std::function<void(const std::string&)>& showMessage) {
  OrderedConsole ordered(console, showMessage, files.size());
  const std::vector<std::optional<std::size_t>> before = PredecessorsWithSameStem(files);
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  std::vector<bool> done(files.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> allConverted{true};

  std::mutex failureMutex;
  std::exception_ptr failure;

  // Whatever happens while a file converts, it ends closed and done, so that the console goes
  // on to the files after it and no worker waits for it for ever.
  const auto keepFailure = [&] {
    allConverted = false;
    const std::lock_guard lock(failureMutex);
    if (!failure) {
      failure = std::current_exception();
    }
  };
  const auto finish = [&](std::size_t index) noexcept {
    try {
      // Closing replays the held text of the files behind, whose messages may throw too.
      ordered.Close(index);
    } catch (...) {
      keepFailure();
    }
    {
      const std::lock_guard lock(doneMutex);
      done[index] = true;
    }
    doneChanged.notify_all();
  };
  const auto convert = [&](std::size_t index) {
    struct Finish {
      const decltype(finish)& run;
      std::size_t index;
      ~Finish() { run(index); }
    } finishing{finish, index};
    if (!ConvertArtFile(files[index].path, destDir, ordered.Lane(index), fileAccess)) {
      allConverted = false;
      if (reportFailures) {
        ordered.ShowMessage(index, "Could not convert " + files[index].name +
                                       ". It may possibly have multiple palettes.");
      }
    }
  };
  // Files are taken in list order, so the file that one waits for has always been taken by a
  // worker already, which finishes it whatever happens: the wait always ends.
  const auto work = [&]() noexcept {
    for (std::size_t index = next++; index < files.size(); index = next++) {
      if (before[index]) {
        std::unique_lock lock(doneMutex);
        doneChanged.wait(lock, [&] { return done[*before[index]]; });
      }
      try {
        convert(index);
      } catch (...) {
        keepFailure();
      }
    }
  };

  const std::size_t threads =
      std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(files.size(), 1));
  {
    std::vector<JoiningThread> pool;
    pool.reserve(threads - 1);
    try {
      for (std::size_t n = 1; n < threads; ++n) {
        pool.emplace_back(work);
      }
    } catch (const std::system_error&) {
      // A worker the system will not start is done without: the others take its files.
    }
    work();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
  return allConverted;
}

}  // namespace vostrel
