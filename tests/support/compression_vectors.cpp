#include "support/compression_vectors.h"

#include <stdexcept>

namespace ravelin::testing {

Bytes FromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (v < 0) {
      if (c != ' ' && c != '\n') throw std::invalid_argument("not hex");
      continue;
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex");
  return out;
}

const std::vector<IntegerVector>& IntegerRecords() {
  static const std::vector<IntegerVector> kVectors = {
      {"01 01 12 01", kTypeTinyInt, "tinyint(1)", "1"},
      {"01 01 12 7F", kTypeTinyInt, "tinyint(1)", "127"},
      {"01 01 12 80", kTypeTinyInt, "tinyint(1)", "128"},
      {"01 01 12 FF", kTypeTinyInt, "tinyint(1)", "255"},
      {"01 01 10", kTypeTinyInt, "tinyint(1)", "NULL"},
      {"01 01 10", kTypeSmallInt, "smallint(2)", "NULL"},
      {"01 01 12 81", kTypeSmallInt, "smallint(2)", "1"},
      {"01 01 12 7F", kTypeSmallInt, "smallint(2)", "-1"},
      {"01 01 13 7F 7E", kTypeSmallInt, "smallint(2)", "-130"},
      {"01 01 12 FF", kTypeSmallInt, "smallint(2)", "127"},
      {"01 01 13 80 80", kTypeSmallInt, "smallint(2)", "128"},
      {"01 01 13 80 FF", kTypeSmallInt, "smallint(2)", "255"},
      {"01 01 13 00 00", kTypeSmallInt, "smallint(2)", "-32768"},
      {"01 01 12 FF", kTypeInt, "int(4)", "127"},
      {"01 01 13 80 80", kTypeInt, "int(4)", "128"},
      {"01 01 13 FF FF", kTypeInt, "int(4)", "32767"},
      {"01 01 14 80 80 00", kTypeInt, "int(4)", "32768"},
      {"01 01 14 FF FF FF", kTypeInt, "int(4)", "8388607"},
      {"01 01 15 FF FF FF FF", kTypeInt, "int(4)", "2147483647"},
      {"01 01 12 00", kTypeInt, "int(4)", "-128"},
      {"01 01 13 7F 7F", kTypeInt, "int(4)", "-129"},
      {"01 01 14 00 00 00", kTypeInt, "int(4)", "-8388608"},
      {"01 01 15 7F 7F FF FF", kTypeInt, "int(4)", "-8388609"},
      {"01 01 19 FF FF FF FF FF FF FF FF", kTypeBigInt, "bigint(8)", "9223372036854775807"},
      {"01 01 18 FF FF FF FF FF FF FF", kTypeBigInt, "bigint(8)", "36028797018963967"},
      {"01 01 17 FF FF FF FF FF FF", kTypeBigInt, "bigint(8)", "140737488355327"},
      {"01 01 16 FF FF FF FF FF", kTypeBigInt, "bigint(8)", "549755813887"},
      {"01 01 15 FF FF FF FF", kTypeBigInt, "bigint(8)", "2147483647"},
  };
  return kVectors;
}

const std::vector<DateTimeVector>& DateTimeRecords() {
  static const std::vector<DateTimeVector> kVectors = {
      {"01 01 18 80 9F E7 01 8A E1 73", false, 2012, 1, 29, 23, 57, 42, 997},
      {"01 01 18 80 9F E7 01 8A E0 CE", false, 2012, 1, 29, 23, 57, 42, 447},
      {"01 01 18 81 1D 58 01 8B 81 FF", false, 2099, 12, 31, 23, 59, 59, 997},
      {"01 01 18 7F 2E 46 00 00 00 00", false, 1753, 1, 1, 0, 0, 0, 0},
      {"01 01 10", true, 0, 0, 0, 0, 0, 0, 0},
      {"01 01 11", false, 1900, 1, 1, 0, 0, 0, 0},
      {"01 01 16 81 00 00 00 00", false, 1900, 1, 2, 0, 0, 0, 0},
      {"01 01 16 81 01 2E B9 69", false, 1900, 1, 2, 18, 22, 11, 123},
      {"01 01 15 81 6F 50 F2", false, 1900, 1, 1, 22, 17, 21, 447},
      {"01 01 17 7E 94 01 2E B9 69", false, 1899, 1, 2, 18, 22, 11, 123},
  };
  return kVectors;
}

Bytes ThreeColumnLongRecord() {
  return FromHex("21 03 A2 16 E5 52 6F 77 20 31 01 01 00 0D 00 54 68 69 73 20 69 73 20 72 6F 77 20 31");
}

Bytes TransactionHistoryCompressionInfo() {
  return FromHex(R"(06 0F 00 23 00 1B 02
01 09 04 04 28 00 18 83 03 00 81 18 8B 80 A3 1E 00 00 00 00 53 80 A3 1E 00 00 00 00
71 00 E6 00 E8 00 EA 00 EC 00 EE 00 F0 00 F2 00 F4 00
F6 00 F8 00 FA 00 FC 00 FE 00 00 01 02 01 04 01 06 01
08 01 0A 01 0C 01 0E 01 10 01 12 01 14 01 16 01 18 01
1A 01 1C 01 1E 01 20 01 22 01 24 01 26 01 28 01 2A 01
2C 01 2E 01 30 01 32 01 34 01 36 01 38 01 3A 01 3C 01
3E 01 40 01 42 01 44 01 46 01 48 01 4A 01 4C 01 4E 01
50 01 52 01 54 01 56 01 58 01 5A 01 5C 01 5E 01 60 01
62 01 64 01 66 01 68 01 6A 01 6C 01 6E 01 70 01 72 01
74 01 77 01 7A 01 7D 01 80 01 83 01 86 01 89 01 8C 01
8F 01 92 01 95 01 98 01 9B 01 9E 01 A1 01 A4 01 A7 01
AA 01 AD 01 B0 01 B3 01 B6 01 B9 01 BC 01 BF 01 C2 01
C5 01 C8 01 CB 01 CE 01 D1 01 D4 01 D8 01 DC 01 E0 01
E4 01 E8 01 EC 01 F0 01 F4 01 F8 01
02 7E 02 80 02 81 02 83 02 84 02 85 02 86 02 88 02 8A
02 8C 02 8D 02 8E 02 8F 02 90 02 91 02 92 02 93 02 94
02 95 02 96 82 C3 82 C4 82 C7 82 C8 82 CA 82 CB 82 E2
82 E7 82 EC 83 0B 83 29 83 43 83 5A 83 5B 83 60 83 61
83 63 83 64 83 65 83 66 83 6C 83 6D 83 70 83 71 83 73
83 74 83 75 83 7F 83 89 83 8C 83 8E 83 95 83 96 83 9D
83 9E 83 A7 83 A8 83 A9 83 B4 83 B9 83 BD 83 BF 83 C1
83 C2 83 C3 83 C6 83 CC 83 D3 83 DD 83 DF 83 E1 F4 F4
80 BA 54 80 E4 43 82 6D D1 83 0F F0 83 34 14 84 92 6A
84 F5 47 85 08 D4 85 5A D7 85 F1 A0 86 4C 4E 86 F1 17
86 FD E0 87 02 CA 89 25 1E 8A 54 A2 8A FC 80 8C 06 84
8D 94 8E 8D B7 D2 9C 34 7E 9D D0 B2 A5 A5 EC A6 13 C4
A9 1C 7A BB 53 38 BE 12 58 C3 2A 4E D1 8E 98 D4 89 E8
F1 5B 46 FB 19 C8 80 85 77 A8 80 98 63 E0 80 9A 12 94
80 A1 A3 4C 80 BA E0 58 80 FC 22 98 80 FE E1 B8 81 05
EB F8 81 0C 6F 38)");
}

Bytes RowCompressedWithRowversion() {
  return FromHex(R"(21 04 A2 32 81 81 07 D1 01 01 00 48 00 33 33 32 39 39 35 30 42 2D 38 46 30 37 2D 34 35 46 37 2D
41 35 42 38 2D 36 39 34 39 36 35 42 38 41 32 41 34 43 30 35 34 46 30 33 41 2D 44 43 34 38 2D 34
30 42 35 2D 42 38 33 35 2D 33 32 35 39 45 44 34 41 36 30 34 45)");
}

Bytes PessoaAnchorRecord() {
  return FromHex(R"(21 04 A0 40 01 14 01 01 01 00 21 00 53 69 6C 76 61 20 4D 61 72 69 61 20 4C 69 6E 61 20 4D 61 72
69 61 20 4C 69 6E 61 20 53 69 6C 76 61)");
}

Bytes PessoaRowCarolina() {
  return FromHex(R"(21 04 A3 42 99 8A A6 01 13 C0 01 01 00 18 00 06 43 61 72 6F 6C 69 6E 61 20 43 61 72 6F 6C 69 6E
61 20 53 69 6C 76 61)");
}

Bytes PessoaRowMarcos() {
  return FromHex("21 04 A3 42 99 8B A7 01 13 C1 01 01 00 11 00 09 63 6F 73 20 4D 61 72 63 6F 73 20 53 69 6C 76 61");
}

Bytes TenColumnRecord() {
  Bytes r = FromHex("21 0A 51 40 1A 0B AA FF FF FF FF 61 61 61 01 03 00 E8 03 D0 07 DA 07");
  r.insert(r.end(), 1000, 'b');
  r.insert(r.end(), 1000, 'c');
  r.insert(r.end(), 10, 'd');
  return r;
}

Bytes MixedThreeColumnRecord() { return FromHex("01 03 22 15 81 81 76 61 6C 31"); }

}  // namespace ravelin::testing
