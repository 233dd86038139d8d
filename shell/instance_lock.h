// One running copy of the program per user: a lock file named after the
// program's instance mutex, in the user's runtime folder. A lock left by a
// process that has ended (the program ends without shutdown steps) does
// not count.

#ifndef RAVELIN_SHELL_INSTANCE_LOCK_H_
#define RAVELIN_SHELL_INSTANCE_LOCK_H_

#include <QString>
#include <memory>

class QLockFile;

namespace ravelin {

inline constexpr char kInstanceMutexName[] = "Global\\{VELMORATOOLSSQLRECV1.0_EXE_RUNNING1}";
inline constexpr char kTextAnotherInstance[] = "Another instance of application is already running";

class InstanceLock {
 public:
  InstanceLock();
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // The lock file: the mutex's name without its namespace prefix, in the
  // runtime folder.
  static QString LockPath();

  // True when this process holds the lock now; false when a running
  // process holds it.
  bool Acquire();

 private:
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace ravelin

#endif  // RAVELIN_SHELL_INSTANCE_LOCK_H_
