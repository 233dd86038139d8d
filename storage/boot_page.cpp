#include "storage/boot_page.h"

#include "storage/text_codec.h"

namespace ravelin {
namespace {

constexpr size_t kVersionOffset = 100;
constexpr size_t kNameOffset = 148;
constexpr size_t kNameUnits = 128;
constexpr size_t kNameLengthOffset = 404;
constexpr size_t kCollationOffset = 488;
// The unit SQL Server pads the name field with: two 0x20 bytes.
constexpr uint16_t kPaddingUnit = 0x2020;

}  // namespace

std::string VersionName(uint16_t version) {
  switch (version) {
    case 408:
      return "SQL Server 6.5";
    case 515:
      return "SQL Server 7.0";
    case 539:
      return "SQL Server 2000";
    case 611:
      return "SQL Server 2005";
    case 612:
      return "SQL Server 2005 SP2+ with VarDecimal enabled";
    case 655:
      return "SQL Server 2008";
    case 660:
    case 661:
      return "SQL Server 2008 R2";
    case 684:
      return "SQL Server 2012 CTP1";
    case 706:
      return "SQL Server 2012";
    case 782:
      return "SQL Server 2014";
    case 852:
      return "SQL Server 2016";
    case 869:
      return "SQL Server 2017";
    case 895:
    case 904:
      return "SQL Server 2019";
    case 957:
      return "SQL Server 2022";
    default:
      return {};
  }
}

std::string VersionText(uint16_t version) {
  const std::string name = VersionName(version);
  return name.empty() ? "Unknown SQL Version" : " " + name;
}

std::string DecodeBootName(ByteSpan nameField, int32_t nameLength) {
  if (nameLength > 0 && nameLength % 2 == 0 && static_cast<size_t>(nameLength) <= nameField.size())
    return Utf16ToUtf8(nameField.first(static_cast<size_t>(nameLength)), true);
  size_t units = 0;
  while (units * 2 + 1 < nameField.size()) {
    const uint16_t unit = LoadLE<uint16_t>(nameField, units * 2);
    if (unit == 0 || unit == kPaddingUnit) break;
    ++units;
  }
  std::string name = Utf16ToUtf8(nameField.first(units * 2), false);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

BootInfo DecodeBootPage(ByteSpan page) {
  BootInfo boot;
  boot.version = LoadLE<uint16_t>(page, kVersionOffset);
  boot.databaseName =
      DecodeBootName(SubSpan(page, kNameOffset, kNameUnits * 2), LoadLE<int32_t>(page, kNameLengthOffset, -1));
  boot.collationId = LoadLE<int32_t>(page, kCollationOffset);
  return boot;
}

}  // namespace ravelin
