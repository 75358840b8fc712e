#include "command/workers.h"

#include <algorithm>

namespace lha::command {

Workers::Workers(unsigned threads)
    : threads_(threads ? threads : std::max(1u, std::thread::hardware_concurrency())) {
  if (threads_ <= 1) return;
  for (unsigned i = 0; i < threads_; ++i)
    pool_.emplace_back([this] { Run(); });
}

Workers::~Workers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& t : pool_)
    t.join();
}

void Workers::Run() {
  while (true) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and nothing left: every future gets its result
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

}  // namespace lha::command
