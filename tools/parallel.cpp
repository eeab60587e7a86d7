#include "tools/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tools {

unsigned MergeThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

namespace {

// The first failure of any worker; the others see `failed` and stop early.
class Failure {
 public:
  template <typename Body>
  void Run(Body&& body) noexcept {
    try {
      body();
    } catch (...) {
      const std::lock_guard lock(mutex_);
      if (!error_) error_ = std::current_exception();
      failed_ = true;
    }
  }
  bool Failed() const { return failed_; }
  void RaiseIfAny() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  std::mutex mutex_;
  std::exception_ptr error_;
  std::atomic<bool> failed_{false};
};

void RunGuarded(unsigned workers, Failure& failure, const std::function<void(unsigned)>& body) {
  std::vector<std::thread> helpers;
  std::vector<unsigned> leftOver;  // workers no thread could be made for
  helpers.reserve(workers);
  for (unsigned w = 1; w < workers; ++w) {
    try {
      helpers.emplace_back([&failure, &body, w] { failure.Run([&] { body(w); }); });
    } catch (const std::system_error&) {
      leftOver.push_back(w);
    }
  }
  failure.Run([&] { body(0); });
  for (const unsigned w : leftOver) failure.Run([&] { body(w); });
  for (auto& helper : helpers) helper.join();
}

}  // namespace

void RunOnThreads(unsigned workers, const std::function<void(unsigned)>& body) {
  if (workers <= 1) {
    body(0);
    return;
  }
  Failure failure;
  RunGuarded(workers, failure, body);
  failure.RaiseIfAny();
}

void ShareChunks(unsigned workers, std::size_t count, std::size_t chunk,
                 const std::function<void(unsigned, std::size_t, std::size_t)>& body) {
  chunk = std::max<std::size_t>(chunk, 1);
  if (workers <= 1 || count <= chunk) {
    for (std::size_t begin = 0; begin < count; begin += chunk)
      body(0, begin, std::min(count, begin + chunk));
    return;
  }
  Failure failure;
  std::atomic<std::size_t> next{0};
  RunGuarded(workers, failure, [&](unsigned worker) {
    while (!failure.Failed()) {
      const std::size_t begin = next.fetch_add(chunk);
      if (begin >= count) break;
      body(worker, begin, std::min(count, begin + chunk));
    }
  });
  failure.RaiseIfAny();
}

}  // namespace tools
