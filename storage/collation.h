// Collations and the code pages of 8-bit text: the collation table read
// from "collation.txt", and the collation context of one open database (the
// run's choice, and what the boot page showed).

#ifndef RAVELIN_STORAGE_COLLATION_H_
#define RAVELIN_STORAGE_COLLATION_H_

#include <cstdint>
#include <map>
#include <string>

namespace ravelin {

struct CollationEntry {
  std::string name;
  int32_t codePage = 0;  // 0: Unicode-only collation
};

// Collation id (sign-extended) -> name and code page.
using CollationTable = std::map<int64_t, CollationEntry>;

// Parses "collation.txt" text: name TAB id TAB code page per line. Lines
// without both tabs are skipped; a repeated id replaces the earlier line.
CollationTable ParseCollationTable(const std::string& text);

// Reads the collation table from `path`; a missing file gives an empty table.
CollationTable LoadCollationTable(const std::string& path);

struct CollationContext {
  CollationContext() = default;
  explicit CollationContext(const CollationTable* collations) : table(collations) {}

  // The table collations are looked up in; not owned, null for none.
  const CollationTable* table = nullptr;
  // The run's choice: the database's own collation, or `manualId`.
  bool autoDetect = true;
  int64_t manualId = 0;

  // What the choice found in the table.
  bool found = false;
  int64_t detectedId = -1;
  int32_t codePage = 1252;
  std::string name;

  // Takes the collation a database's boot page records (or the manual
  // choice) from the table. The id is looked up whole (sign-extended),
  // then by its low 16 bits; when nothing matches the context stays as it is.
  void ApplyDatabaseCollation(int32_t bootCollationId);

  // The code page of 8-bit text stored under collation `collationId`: the
  // database's own code page for its detected collation, the table's entry
  // otherwise, and the ANSI code page for ids 0 and -1, ids the table lacks
  // and Unicode-only collations.
  int CodePageFor(int64_t collationId) const;

  // The table's entry for `collationId`; null when there is none.
  const CollationEntry* Find(int64_t collationId) const;
};

}  // namespace ravelin

#endif  // RAVELIN_STORAGE_COLLATION_H_
