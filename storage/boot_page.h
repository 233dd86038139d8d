// The boot page (page 9 of the primary file): database name, on-disk
// version and collation.

#ifndef RAVELIN_STORAGE_BOOT_PAGE_H_
#define RAVELIN_STORAGE_BOOT_PAGE_H_

#include <cstdint>
#include <string>

#include "storage/bytes.h"

namespace ravelin {

constexpr int32_t kBootPageNumber = 9;

// The version text of an on-disk version number; "Unknown SQL Version" for
// numbers not in the table. The known texts begin with a blank.
std::string VersionText(uint16_t version);

// What the boot page says.
struct BootInfo {
  uint16_t version = 0;
  std::string databaseName;
  int32_t collationId = 0;
};

// Decodes the boot record straight from the page bytes.
BootInfo DecodeBootPage(ByteSpan page);

// The database name as the boot page's name field holds it: the low byte of
// each UTF-16 unit up to the first zero, in the ANSI code page, cut before
// its first blank unless the name begins with one.
std::string DecodeBootName(ByteSpan nameField);

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_BOOT_PAGE_H_
