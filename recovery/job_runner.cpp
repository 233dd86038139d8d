#include "recovery/job_runner.h"

#include <memory>

namespace ravelin {

void JobToken::EndJob() {
  if (runner_)
    runner_->EndJob(generation_);
  else
    settings_.busy = 0;
}

JobRunner::~JobRunner() { Wait(); }

bool JobRunner::Start(Job job) {
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    if (settings_.busy.load() != 0) return false;
    settings_.busy = 1;
    generation = ++generation_;
    ++liveWorkers_;
  }
  // Held outside the new thread until it exists, so that a failed start
  // can put it back instead of destroying a joinable thread.
  auto predecessor = std::make_shared<std::thread>(std::move(last_));
  try {
    last_ = std::thread(
        [this, predecessor, job = std::move(job), generation] { RunWorker(*predecessor, job, generation); });
  } catch (...) {
    last_ = std::move(*predecessor);
    std::lock_guard lock(mutex_);
    --liveWorkers_;
    if (generation == generation_) settings_.busy = 0;
    throw;
  }
  return true;
}

void JobRunner::RunWorker(std::thread& predecessor, const Job& job, uint64_t generation) {
  if (predecessor.joinable()) predecessor.join();
  {
    std::lock_guard lock(mutex_);
    // A stop aimed at an earlier job is spent; one aimed at this job (or at
    // a later one, when this worker began late) stands.
    if (stoppedGeneration_ < generation) settings_.stopRequested = false;
  }
  JobToken token(settings_, this, generation);
  try {
    job(token);
  } catch (...) {
    // The job reports its own failures; whatever escapes must not take the
    // process down or leave the front end busy.
  }
  token.EndJob();
  --liveWorkers_;
}

bool JobRunner::RunInline(const std::function<void()>& job) {
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    if (settings_.busy.load() != 0 || liveWorkers_.load() > 0) return false;
    settings_.busy = 1;
    generation = ++generation_;
  }
  try {
    job();
  } catch (...) {
    EndJob(generation);
    throw;
  }
  EndJob(generation);
  return true;
}

bool JobRunner::Stop() {
  std::lock_guard lock(mutex_);
  if (settings_.busy.load() == 0) return false;
  settings_.busy = 0;
  settings_.stopRequested = true;
  stoppedGeneration_ = generation_;
  return true;
}

void JobRunner::EndJob(uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (generation == generation_) settings_.busy = 0;
}

void JobRunner::Wait() {
  if (last_.joinable()) last_.join();
}

}  // namespace ravelin
