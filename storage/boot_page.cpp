#include "storage/boot_page.h"

#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr size_t kVersionOffset = 100;
constexpr size_t kNameOffset = 148;
constexpr size_t kNameUnits = 104;
constexpr size_t kCollationOffset = 488;

}  // namespace

std::string VersionText(uint16_t version) {
  switch (version) {
    case 408:
      return " SQL Server 6.5";
    case 515:
      return " SQL Server 7.0";
    case 539:
      return " SQL Server 2000";
    case 611:
      return " SQL Server 2005";
    case 612:
      return " SQL Server 2005 SP2+ with VarDecimal enabled";
    case 655:
      return " SQL Server 2008";
    case 660:
    case 661:
      return " SQL Server 2008 R2";
    case 684:
      return " SQL Server 2012 CTP1";
    case 706:
      return " SQL Server 2012";
    case 782:
      return " SQL Server 2014";
    default:
      return "Unknown SQL Version";
  }
}

std::string DecodeBootName(ByteSpan nameField) {
  Bytes low;
  for (size_t i = 0; i < nameField.size(); i += 2) {
    const uint8_t b = nameField[i];
    if (b == 0) break;
    low.push_back(b);
  }
  std::string name = CodePageToUtf8(low, AnsiCodePage());
  const size_t blank = name.find(' ');
  if (blank != std::string::npos && blank > 0) name.resize(blank);
  return name;
}

BootInfo DecodeBootPage(ByteSpan page) {
  BootInfo boot;
  boot.version = LoadLE<uint16_t>(page, kVersionOffset);
  boot.databaseName = DecodeBootName(SubSpan(page, kNameOffset, kNameUnits * 2));
  boot.collationId = LoadLE<int32_t>(page, kCollationOffset);
  return boot;
}

}  // namespace ravelin
