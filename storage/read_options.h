// How a run reads tables: the recovery mode and the deleted-record options.
// A plain value, fixed when the database is opened.

#ifndef RAVELIN_STORAGE_READ_OPTIONS_H_
#define RAVELIN_STORAGE_READ_OPTIONS_H_

#include <cstdint>

namespace ravelin {

enum class RecoveryMode : int32_t { kUnset = 0, kStandard = 1, kAdvanced = 2 };

struct ReadOptions {
  // Ghost (deleted) records are read as rows.
  bool showDeleted = false;
  // With showDeleted: pages are also searched byte by byte for records
  // their slot arrays no longer list.
  bool huntDeleted = false;
  RecoveryMode mode = RecoveryMode::kStandard;
  // Records that do not fit the table are listed too, marked suspect.
  bool suspect = false;

  bool Hunts() const { return showDeleted && huntDeleted; }
  bool IsAdvancedMode() const { return mode == RecoveryMode::kAdvanced; }
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_READ_OPTIONS_H_
