// The CSV export read back with an RFC 4180 reader: the data texts, NULL
// against '' against unreadable, file names, layouts, Stop and safety.

#include "export/csv_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "export/export_fixture.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::EntriesOf;
using testing::EveryFamilyTable;
using testing::ReadText;
using testing::SampleRun;
using testing::SimpleTable;
using testing::TempDir;
using testing::WriteAll;

// One field of a record: its text and whether it was quoted.
struct Field {
  std::string text;
  bool quoted = false;
  friend bool operator==(const Field&, const Field&) = default;
};
using Record = std::vector<Field>;

// An RFC 4180 reader: CRLF between records, quotes doubled in quoted
// fields. A malformed text gives a test failure.
std::vector<Record> ReadCsv(const std::string& text) {
  std::vector<Record> records;
  Record record;
  Field field;
  size_t i = 0;
  bool fieldStarted = false;
  while (i < text.size()) {
    const char c = text[i];
    if (!fieldStarted && c == '"') {
      field.quoted = true;
      for (++i;; ++i) {
        if (i >= text.size()) {
          ADD_FAILURE() << "open quote";
          return records;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.text += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field.text += text[i];
      }
      fieldStarted = true;
      if (i < text.size() && text[i] != ',' && text[i] != '\r') ADD_FAILURE() << "text after a closing quote";
      continue;
    }
    if (c == ',') {
      record.push_back(field);
      field = {};
      fieldStarted = false;
      ++i;
    } else if (c == '\r') {
      EXPECT_EQ(text[i + 1], '\n') << "records end with CRLF";
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field = {};
      fieldStarted = false;
      i += 2;
    } else {
      EXPECT_NE(c, '"') << "a quote inside an unquoted field";
      EXPECT_NE(c, '\n') << "a bare LF";
      field.text += c;
      fieldStarted = true;
      ++i;
    }
  }
  EXPECT_TRUE(record.empty() && !fieldStarted) << "the last record must end with CRLF";
  return records;
}

Field F(const std::string& text, bool quoted = false) { return {text, quoted}; }

class CsvWriterTest : public ::testing::Test {
 protected:
  std::string Out(const std::string& name = "out") const { return dir_.path() + "/" + name; }
  TempDir dir_;
};

TEST_F(CsvWriterTest, WritesTheDataTextsWithNullEmptyAndUnreadableApart) {
  CsvWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun(), {EveryFamilyTable()}));
  ASSERT_EQ(EntriesOf(Out()), std::vector<std::string>{"dbo.Every Family.csv"});
  const std::string text = ReadText(Out() + "/dbo.Every Family.csv");
  EXPECT_FALSE(text.starts_with("\xEF\xBB\xBF"));
  const auto records = ReadCsv(text);
  ASSERT_EQ(records.size(), 5u);
  std::string header;
  for (const Field& f : records[0]) header += f.text + "|";
  EXPECT_EQ(header, "id|big|flag|f|r|price|amount|name|code|d|t|dt|sdt|dt2|dto|guid|bin|ts|x|v|h|");
  EXPECT_EQ(records[1], (Record{F("1"),
                                F("-9223372036854775808"),
                                F("1"),
                                F("0.1"),
                                F("1.5"),
                                F("12345678901234567890.1234"),
                                F("1234.5600"),
                                F("it's \"quoted\", ünï 名前 [x]", true),
                                F("abc"),
                                F("2024-02-29"),
                                F("23:59:59.9999999"),
                                F("1753-01-01 00:00:00.003"),
                                F("2079-06-06 23:59:00"),
                                F("0001-01-01 00:00:00.0000000"),
                                F("2024-05-01 10:30:00.1234567 +05:30"),
                                F("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
                                F("0x0001FF"),
                                F("0x00000000000007D1"),
                                F("<a>x &amp; y</a>"),
                                F("42"),
                                F("0x58")}));
  const Record& second = records[2];
  EXPECT_EQ(second[3], F("-1e+300"));
  EXPECT_EQ(second[4], F("3.4028235e+38"));
  EXPECT_EQ(second[7], F("", true));  // ''
  EXPECT_EQ(second[8], F(""));        // NULL
  EXPECT_EQ(second[16], F("0x"));     // an empty binary value
  EXPECT_EQ(second[19], F("hi, 'you'", true));
  const Record& third = records[3];
  EXPECT_EQ(third[1], F("\\?"));  // unreadable
  EXPECT_EQ(third[7], F("line1\r\nline2\ttab\x01", true));
  EXPECT_EQ(third[8], F("NULL"));  // the text 'NULL'
  EXPECT_EQ(third[19], F("3.50"));
  const Record& fourth = records[4];
  EXPECT_EQ(fourth[7], F("\\?", true));  // the text \? itself
  EXPECT_EQ(fourth[8], F("\\?"));        // unreadable
  EXPECT_EQ(fourth[19], F("2020-01-01 00:00:00.000"));
  // In the raw text: NULL as ,, and '' as ,"",
  EXPECT_NE(text.find("\r\n2,9223372036854775807,0,-1e+300,3.4028235e+38,-0.0001,-922337203685477.5808,\"\",,"),
            std::string::npos);
  EXPECT_EQ(writer.summary().unreadableValues, 3u);
}

TEST_F(CsvWriterTest, StatusColumnAndEmptyTables) {
  auto s = SimpleTable("dbo", "T", 2);
  s.table.columns[1].name = "ravelin_status";
  auto empty = SimpleTable("dbo", "Empty", 0);
  CsvWriter writer({Out()});
  ASSERT_TRUE(writer.Begin(SampleRun("/x.mdf", true)));
  ASSERT_TRUE(writer.BeginTable(s.table));
  ASSERT_TRUE(writer.WriteRow(s.rows[0]));
  ASSERT_TRUE(writer.WriteRow(s.rows[1], RowStatus::kFreePage));
  ASSERT_TRUE(writer.EndTable());
  ASSERT_TRUE(writer.BeginTable(empty.table));
  ASSERT_TRUE(writer.EndTable());
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(ReadText(Out() + "/dbo.T.csv"),
            "id,ravelin_status,ravelin_status_2\r\n1,text 1,live\r\n2,text 2,free page\r\n");
  EXPECT_EQ(ReadText(Out() + "/dbo.Empty.csv"), "id,text,ravelin_status\r\n");
}

TEST_F(CsvWriterTest, FileNamesAreSafeAndUnique) {
  std::vector<testing::SampleTable> tables = {
      SimpleTable("dbo", "Orders", 1),
      SimpleTable("dbo", "ORDERS", 1),
      SimpleTable("sales", "a/b\\c:d*e?f\"g<h>i|j\tk", 1),
      SimpleTable("con", "x", 1),
      SimpleTable(".hidden", "x", 1),
      SimpleTable("dbo", "Ünï 名前 'q' [b]", 1),
      SimpleTable("dbo", std::string(200, 'a') + "名前名前名前名前名前名前", 1)};
  CsvWriter writer({Out()});
  ASSERT_TRUE(WriteAll(writer, SampleRun(), tables));
  std::vector<std::string> names;
  for (const TableResult& t : writer.summary().tables) names.push_back(t.outputName);
  const std::string longName = "dbo." + std::string(200, 'a') + "名前名前名前名前名前名前";
  EXPECT_EQ(names, (std::vector<std::string>{"dbo.Orders.csv", "dbo.ORDERS_2.csv", "sales.a_b_c_d_e_f_g_h_i_j_k.csv",
                                             "_con.x.csv", "_.hidden.x.csv", "dbo.Ünï 名前 'q' [b].csv",
                                             longName.substr(0, 240) + ".csv"}));
  EXPECT_EQ(EntriesOf(Out()).size(), 7u);
  for (const std::string& name : names) EXPECT_EQ(ReadCsv(ReadText(Out() + "/" + name)).size(), 2u) << name;
}

TEST_F(CsvWriterTest, OneTableToOneFile) {
  CsvWriter writer({Out("t.csv")}, CsvWriter::Layout::kSingleFile);
  ASSERT_TRUE(WriteAll(writer, SampleRun(), {SimpleTable("dbo", "T", 2)}));
  EXPECT_EQ(ReadText(Out("t.csv")), "id,text\r\n1,text 1\r\n2,text 2\r\n");

  CsvWriter two({Out("two.csv")}, CsvWriter::Layout::kSingleFile);
  EXPECT_FALSE(WriteAll(two, SampleRun(), {SimpleTable("dbo", "A", 1), SimpleTable("dbo", "B", 1)}, {}, false));
  EXPECT_EQ(EntriesOf(dir_.path()), std::vector<std::string>{"t.csv"});
}

TEST_F(CsvWriterTest, StopLeavesNothingAndExistingFoldersAreRespected) {
  {
    CsvWriter writer({Out()});
    ASSERT_TRUE(writer.Begin(SampleRun()));
    auto a = SimpleTable("dbo", "A", 2);
    ASSERT_TRUE(writer.BeginTable(a.table));
    ASSERT_TRUE(writer.WriteRow(a.rows[0]));
    ASSERT_TRUE(writer.WriteRow(a.rows[1]));
    ASSERT_TRUE(writer.EndTable());
    ASSERT_TRUE(writer.BeginTable(a.table));
    ASSERT_TRUE(writer.Stop());
  }
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());

  // An existing empty folder receives the files.
  std::filesystem::create_directory(Out());
  {
    CsvWriter writer({Out()});
    ASSERT_TRUE(WriteAll(writer, SampleRun(), {SimpleTable("dbo", "A", 1)}));
  }
  EXPECT_EQ(EntriesOf(Out()), std::vector<std::string>{"dbo.A.csv"});
  // A folder with files only when forced; other files stay.
  std::filesystem::remove(Out() + "/dbo.A.csv");
  { std::ofstream(Out() + "/notes.txt") << "mine"; }
  CsvWriter refused({Out()});
  EXPECT_FALSE(refused.Begin(SampleRun()));
  EXPECT_NE(refused.error().find("already holds files"), std::string::npos) << refused.error();
  { std::ofstream(Out() + "/dbo.A.csv") << "old"; }
  CsvWriter forced({Out(), true});
  ASSERT_TRUE(WriteAll(forced, SampleRun(), {SimpleTable("dbo", "A", 1), SimpleTable("dbo", "B", 1)}));
  EXPECT_EQ(EntriesOf(Out()), (std::vector<std::string>{"dbo.A.csv", "dbo.B.csv", "notes.txt"}));
  EXPECT_EQ(ReadText(Out() + "/dbo.A.csv"), "id,text\r\n1,text 1\r\n");
  EXPECT_EQ(ReadText(Out() + "/notes.txt"), "mine");
  // The database's own file in the folder is never replaced.
  { std::ofstream(Out() + "/dbo.C.csv") << "input"; }
  CsvWriter onInput({Out(), true});
  EXPECT_FALSE(WriteAll(onInput, SampleRun(Out() + "/dbo.C.csv"), {SimpleTable("dbo", "C", 1)}, {}, false));
  EXPECT_EQ(ReadText(Out() + "/dbo.C.csv"), "input");

  const std::string file = dir_.Write("plain", {'p'});
  CsvWriter notFolder({file, true});
  EXPECT_FALSE(notFolder.Begin(SampleRun()));
  EXPECT_NE(notFolder.error().find("not a folder"), std::string::npos);
}

TEST_F(CsvWriterTest, WriteErrorsAreReportedWithTheirReason) {
  const std::string message = testing::InChildWithFileLimit(16 * 1024, [&] {
    CsvWriter writer({Out()});
    WriteAll(writer, SampleRun(), {SimpleTable("dbo", "Big", 200000)}, {}, false);
    return writer.error();
  });
  EXPECT_EQ(message, "cannot write " + Out() + "/dbo.Big.csv: File too large");
  EXPECT_TRUE(EntriesOf(dir_.path()).empty());
}

TEST(CsvFieldTest, QuotesOnlyWhereNeeded) {
  std::string out;
  for (const char* field : {"plain", "", "a,b", "say \"hi\"", "cr\r", "lf\n", "\\?", " spaced "}) {
    AppendCsvField(out, field);
    out += '|';
  }
  EXPECT_EQ(out, "plain|\"\"|\"a,b\"|\"say \"\"hi\"\"\"|\"cr\r\"|\"lf\n\"|\"\\?\"| spaced |");
}

}  // namespace
}  // namespace ravelin
