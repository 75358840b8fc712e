// Threads that run tasks for one command, first come first served. A task's result (or what it
// threw) comes back through its future, so the command takes results in the order it gave the
// tasks, whatever order they finished in: what the command writes does not depend on the number
// of threads. With one thread, each task runs when its result is first asked for.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace lha::command {

class Workers {
 public:
  // `threads` 0: one per processor.
  explicit Workers(unsigned threads);
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  unsigned threads() const { return threads_; }

  template <class Task>
  std::shared_future<std::invoke_result_t<Task>> Submit(Task task) {
    using Result = std::invoke_result_t<Task>;
    if (threads_ <= 1) return std::async(std::launch::deferred, std::move(task)).share();
    auto job = std::make_shared<std::packaged_task<Result()>>(std::move(task));
    std::shared_future<Result> result = job->get_future().share();
    {
      std::lock_guard lock(mutex_);
      queue_.emplace_back([job] { (*job)(); });
    }
    ready_.notify_one();
    return result;
  }

 private:
  void Run();

  unsigned threads_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> pool_;
};

}  // namespace lha::command
