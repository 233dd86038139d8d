// A run's Stop request as the readers see it: a flag that the front end
// sets and that every long loop polls. The readers never clear it.

#ifndef RAVELIN_STORAGE_STOP_TOKEN_H_
#define RAVELIN_STORAGE_STOP_TOKEN_H_

#include <atomic>

namespace ravelin {

class StopToken {
 public:
  // A token that never asks to stop.
  StopToken() = default;
  explicit StopToken(const std::atomic<bool>& flag) : flag_(&flag) {}

  bool requested() const { return flag_ && flag_->load(std::memory_order_relaxed); }

 private:
  const std::atomic<bool>* flag_ = nullptr;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_STOP_TOKEN_H_
