// Job control: at most one job (a scan, an object selection, a records
// page) at a time, each on a worker thread of its own, and the Stop command.
//
// The rules it keeps:
//
//  - Start refuses while `busy` is 1; the caller shows kTextPleaseWait.
//    Otherwise it sets `busy` and returns at once: the front-end thread
//    never waits for a worker, since workers call the front end
//    synchronously and a waiting front end would deadlock them.
//  - Stop sets `busy` to 0 and `stopRequested` to 1. The stopped worker
//    may go on until its next poll of the flag; a job started meanwhile
//    must not touch RecoveryState before that worker has ended. So every
//    worker thread first joins its predecessor, and only then runs its
//    job. The front end itself touches the state only through jobs (or
//    RunInline, which refuses while a stopped worker is still ending).
//  - A job clears `busy` through its JobToken, which leaves the flag alone
//    once a newer job owns it: a stopped worker that ends late does not
//    unlock the job that followed it.
//  - `stopRequested` is cleared when a job begins (after the join), unless
//    that very job was stopped while it waited; a stop given to one job
//    never ends the next.
//
// The runner's methods are called from one thread, the front end's. The
// destructor joins the last worker (which has joined all earlier ones);
// destroy the runner only when no worker waits for the front end.

#ifndef RAVELIN_RECOVERY_JOB_RUNNER_H_
#define RAVELIN_RECOVERY_JOB_RUNNER_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "recovery/recovery_settings.h"

namespace ravelin {

inline constexpr char kTextPleaseWait[] = "Please wait for the running process.";
inline constexpr char kTextConfirmStop[] = "Are you sure to stop the running process?";

class JobRunner;

// Handed to a job: how it ends.
class JobToken {
 public:
  // A token outside any runner (a job run directly): EndJob just clears
  // `busy`.
  explicit JobToken(RecoverySettings& settings) : settings_(settings) {}

  // Clears `busy`, unless a newer job has started since this one was
  // stopped. May be called more than once.
  void EndJob();

 private:
  friend class JobRunner;
  JobToken(RecoverySettings& settings, JobRunner* runner, uint64_t generation)
      : settings_(settings), runner_(runner), generation_(generation) {}

  RecoverySettings& settings_;
  JobRunner* runner_ = nullptr;
  uint64_t generation_ = 0;
};

class JobRunner {
 public:
  using Job = std::function<void(JobToken&)>;

  explicit JobRunner(RecoverySettings& settings) : settings_(settings) {}
  ~JobRunner();
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // Starts `job` on a new worker thread and sets `busy`; false, changing
  // nothing, while `busy` is 1. The runner ends the job's token after the
  // job returns (or throws), so a job that forgets does not hang the front
  // end.
  bool Start(Job job);

  // Runs `job` on the calling thread with `busy` set, for the commands that
  // work without a worker (Save Snapshot). False, running nothing, while
  // `busy` is 1 or a stopped worker has not ended yet.
  bool RunInline(const std::function<void()>& job);

  // The Stop command, once the user confirmed it: `busy` 0 and
  // `stopRequested` 1. False, changing nothing, when no job runs.
  bool Stop();

  bool Busy() const { return settings_.busy.load() != 0; }
  // Busy, or a worker thread (a stopped one, say) has not ended yet.
  bool Active() const { return Busy() || liveWorkers_.load() > 0; }

  // Blocks until the last worker started has ended. Only for callers that
  // serve no worker's calls on this thread (the command line, tests).
  void Wait();

 private:
  friend class JobToken;
  void EndJob(uint64_t generation);
  void RunWorker(std::thread& predecessor, const Job& job, uint64_t generation);

  RecoverySettings& settings_;
  std::mutex mutex_;  // guards the flags' transitions and the counters
  uint64_t generation_ = 0;
  uint64_t stoppedGeneration_ = 0;
  std::atomic<int> liveWorkers_{0};
  std::thread last_;
};

}  // namespace ravelin

#endif  // RAVELIN_RECOVERY_JOB_RUNNER_H_
