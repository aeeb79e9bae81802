#include "synthesis/parallel.hpp"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kelvane::synthesis {

namespace {

constexpr int kMaxThreads = 256;

int coresAvailable() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// One parallelFor: its tasks are handed out in order to the caller and to at most `helpersAllowed`
// other threads.
struct Job {
  Job(const std::function<void(std::size_t)>& t, std::size_t n, std::size_t allowed)
      : task(&t), tasks(n), helpersAllowed(allowed) {}

  const std::function<void(std::size_t)>* task;
  std::size_t tasks;
  std::size_t helpersAllowed;
  std::size_t next = 0;     // the next task to hand out
  std::size_t done = 0;     // tasks finished
  std::size_t helpers = 0;  // threads other than the caller working on it
  std::exception_ptr error;
};

// Worker threads, started on first need and kept until the process ends. Every field is guarded
// by mutex_; only the tasks themselves run outside it.
class Pool {
 public:
  static Pool& instance() {
    static Pool pool;
    return pool;
  }

  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
      t.join();
  }

  void run(std::size_t tasks, const std::function<void(std::size_t)>& task, std::size_t threads) {
    Job job(task, tasks, threads - 1);
    std::unique_lock lock(mutex_);
    while (workers_.size() < job.helpersAllowed)
      workers_.emplace_back([this] { workerLoop(); });
    jobs_.push_back(&job);
    wake_.notify_all();
    work(job, lock);
    // While helpers finish the last tasks, the caller helps other jobs (nested ones included).
    while (job.done < job.tasks) {
      if (Job* other = eligible()) {
        help(*other, lock);
      } else {
        wake_.wait(lock);
      }
    }
    if (job.error) std::rethrow_exception(job.error);
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job*> jobs_;  // jobs with tasks not yet handed out
  std::vector<std::thread> workers_;
  bool stopping_ = false;

  Job* eligible() {
    for (Job* j : jobs_)
      if (j->helpers < j->helpersAllowed) return j;
    return nullptr;
  }

  // Runs tasks of `job` until none is left to hand out; called and returns with the lock held.
  void work(Job& job, std::unique_lock<std::mutex>& lock) {
    while (job.next < job.tasks) {
      const std::size_t i = job.next++;
      if (job.next == job.tasks) std::erase(jobs_, &job);
      lock.unlock();
      std::exception_ptr error;
      try {
        (*job.task)(i);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      if (error && !job.error) job.error = error;
      if (++job.done == job.tasks) wake_.notify_all();
    }
  }

  void help(Job& job, std::unique_lock<std::mutex>& lock) {
    ++job.helpers;
    work(job, lock);
    --job.helpers;
  }

  void workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      Job* job = nullptr;
      wake_.wait(lock, [&] { return stopping_ || (job = eligible()) != nullptr; });
      if (stopping_) return;
      help(*job, lock);
    }
  }
};

}  // namespace

int calculationThreads() {
  if (const char* env = std::getenv("KELVANE_THREADS"); env && *env) {
    int n = 0;
    const char* end = env + std::strlen(env);
    const auto [ptr, ec] = std::from_chars(env, end, n);
    if (ec == std::errc{} && ptr == end && n >= 1 && n <= kMaxThreads) return n;
  }
  return std::min(coresAvailable(), kMaxThreads);
}

void parallelFor(std::size_t tasks, const std::function<void(std::size_t)>& task) {
  if (tasks == 0) return;
  const auto threads = std::min<std::size_t>(static_cast<std::size_t>(calculationThreads()), tasks);
  if (threads <= 1) {
    for (std::size_t i = 0; i < tasks; ++i)
      task(i);
    return;
  }
  Pool::instance().run(tasks, task, threads);
}

}  // namespace kelvane::synthesis
