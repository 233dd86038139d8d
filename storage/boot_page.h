// The boot page (page 9 of the primary file): database name, on-disk
// version and collation.

#ifndef RAVELIN_STORAGE_BOOT_PAGE_H_
#define RAVELIN_STORAGE_BOOT_PAGE_H_

#include <cstdint>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

constexpr int32_t kBootPageNumber = 9;

// The product of an on-disk version number, "SQL Server 2016"; empty for
// numbers not known (SQL Server 6.5 to SQL Server 2022 are).
std::string VersionName(uint16_t version);

// The version text of the activity log: the product after a blank
// (" SQL Server 2016"), "Unknown SQL Version" for numbers not known.
std::string VersionText(uint16_t version);

// What the boot page says.
struct BootInfo {
  uint16_t version = 0;
  std::string databaseName;
  int32_t collationId = 0;
};

// Decodes the boot record straight from the page bytes.
BootInfo DecodeBootPage(ByteSpan page);

// The database name as the boot page holds it: UTF-16 text of the length
// the page records after the name field (`nameLength`, in bytes), blanks
// and any script kept. A length that does not fit the field leaves the
// text up to the first zero unit or padding unit (two 0x20 bytes), without
// trailing blanks.
std::string DecodeBootName(ByteSpan nameField, int32_t nameLength = -1);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_BOOT_PAGE_H_
