#include "shell/instance_lock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace ravelin {

InstanceLock::InstanceLock() : lock_(std::make_unique<QLockFile>(LockPath())) {
  // Held for the whole run: only the death of the holder makes it stale.
  lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

QString InstanceLock::LockPath() {
  QString name = QString::fromLatin1(kInstanceMutexName);
  name = name.mid(name.lastIndexOf('\\') + 1);
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder + "/" + name + ".lock";
}

bool InstanceLock::Acquire() { return lock_->tryLock(0); }

}  // namespace ravelin
