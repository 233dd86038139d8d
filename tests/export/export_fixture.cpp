// Test tables and helpers for the export writer tests.

#include "export/export_fixture.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace ravelin::testing {

ExportColumn Column(const std::string& name, const std::string& type, ValueFamily family, bool nullable) {
  ExportColumn c;
  c.name = name;
  c.declaredType = type;
  c.family = family;
  c.nullable = nullable;
  return c;
}

ExportRun SampleRun(const std::string& input, bool withStatus) {
  ExportRun run;
  run.sourceFile = input;
  run.sourceSize = 3145728;
  run.inputFiles = {input};
  run.databaseName = "Sample DB";
  run.versionText = "SQL Server 2019";
  run.collation = "SQL_Latin1_General_CP1_CI_AS";
  run.runTime = "2024-05-01T02:00:00Z";
  run.programVersion = "ravelin test";
  run.withStatus = withStatus;
  if (withStatus) run.deletedOptions = "deleted";
  return run;
}

SampleTable EveryFamilyTable() {
  using F = ValueFamily;
  SampleTable s;
  ExportTable& t = s.table;
  t.schema = "dbo";
  t.name = "Every Family";
  t.objectId = 245575913;
  t.columns = {
      Column("id", "int", F::kInteger, false),
      Column("big", "bigint", F::kInteger),
      Column("flag", "bit", F::kBit),
      Column("f", "float", F::kFloat),
      Column("r", "real", F::kReal),
      Column("price", "decimal(38,4)", F::kExactNumeric),
      Column("amount", "money", F::kMoney),
      Column("name", "nvarchar(40)", F::kUnicode),
      Column("code", "varchar(10)", F::kCharacter),
      Column("d", "date", F::kDate),
      Column("t", "time(7)", F::kTime),
      Column("dt", "datetime", F::kDateTime),
      Column("sdt", "smalldatetime", F::kSmallDateTime),
      Column("dt2", "datetime2(7)", F::kDateTime2),
      Column("dto", "datetimeoffset(7)", F::kDateTimeOffset),
      Column("guid", "uniqueidentifier", F::kUniqueIdentifier),
      Column("bin", "varbinary(max)", F::kBinary),
      Column("ts", "timestamp", F::kTimestamp, false),
      Column("x", "xml", F::kXml),
      Column("v", "sql_variant", F::kSqlVariant),
      Column("h", "hierarchyid", F::kOther),
  };
  t.columns[0].identity = ExportIdentity{"1", "1"};
  t.primaryKey = ExportKey{"PK_Every Family", {"id"}, true};

  const std::string ts1("\x00\x00\x00\x00\x00\x00\x07\xD1", 8);
  Row r1 = {ExportValue::Integer(1),
            ExportValue::Integer(std::numeric_limits<int64_t>::min()),
            ExportValue::Bit(true),
            ExportValue::Real(0.1),
            ExportValue::Real(1.5f),
            ExportValue::Exact("12345678901234567890.1234"),
            ExportValue::Exact("1234.5600"),
            ExportValue::Text("it's \"quoted\", ünï 名前 [x]"),
            ExportValue::Text("abc"),
            ExportValue::Text("2024-02-29"),
            ExportValue::Text("23:59:59.9999999"),
            ExportValue::Text("1753-01-01 00:00:00.003"),
            ExportValue::Text("2079-06-06 23:59:00"),
            ExportValue::Text("0001-01-01 00:00:00.0000000"),
            ExportValue::Text("2024-05-01 10:30:00.1234567 +05:30"),
            ExportValue::Text("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
            ExportValue::Binary(std::string("\x00\x01\xFF", 3)),
            ExportValue::Binary(ts1),
            ExportValue::Text("<a>x &amp; y</a>"),
            ExportValue::Integer(42).Carrying("int", F::kInteger),
            ExportValue::Binary(std::string("\x58", 1))};
  Row r2 = {ExportValue::Integer(2),
            ExportValue::Integer(std::numeric_limits<int64_t>::max()),
            ExportValue::Bit(false),
            ExportValue::Real(-1e300),
            ExportValue::Real(3.4028234663852886e38),
            ExportValue::Exact("-0.0001"),
            ExportValue::Exact("-922337203685477.5808"),
            ExportValue::Text(""),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Text("2024-05-01 10:30:00.0000000 -08:00"),
            ExportValue::Null(),
            ExportValue::Binary(""),
            ExportValue::Binary(std::string(8, '\x01')),
            ExportValue::Null(),
            ExportValue::Text("hi, 'you'").Carrying("nvarchar(10)", F::kUnicode),
            ExportValue::Null()};
  Row r3 = {ExportValue::Integer(3),
            ExportValue::Unreadable(),
            ExportValue::Null(),
            ExportValue::Real(2.2250738585072014e-308),
            ExportValue::Null(),
            ExportValue::Exact("0.0000"),
            ExportValue::Null(),
            ExportValue::Text("line1\r\nline2\ttab\x01"),
            ExportValue::Text("NULL"),
            ExportValue::Text("9999-12-31"),
            ExportValue::Text("00:00:00.0000000"),
            ExportValue::Text("9999-12-31 23:59:59.997"),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Null(),
            ExportValue::Binary(std::string(8, '\x02')),
            ExportValue::Null(),
            ExportValue::Exact("3.50").Carrying("decimal(10,2)", F::kExactNumeric),
            ExportValue::Null()};
  Row r4 = {ExportValue::Integer(4),   ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Text("\\?"),
            ExportValue::Unreadable(), ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Null(),
            ExportValue::Null(),       ExportValue::Null(),
            ExportValue::Unreadable(), ExportValue::Binary(std::string(8, '\x03')),
            ExportValue::Null(),       ExportValue::Text("2020-01-01 00:00:00.000").Carrying("datetime", F::kDateTime),
            ExportValue::Null()};
  s.rows = {r1, r2, r3, r4};
  return s;
}

SampleTable SimpleTable(const std::string& schema, const std::string& name, int rows) {
  SampleTable s;
  s.table.schema = schema;
  s.table.name = name;
  s.table.columns = {Column("id", "int", ValueFamily::kInteger, false),
                     Column("text", "nvarchar(20)", ValueFamily::kUnicode)};
  s.table.primaryKey = ExportKey{"PK_" + name, {"id"}, true};
  for (int i = 1; i <= rows; ++i)
    s.rows.push_back({ExportValue::Integer(i), ExportValue::Text("text " + std::to_string(i))});
  return s;
}

bool WriteAll(ExportWriter& writer, const ExportRun& run, const std::vector<SampleTable>& tables,
              const std::vector<ExportModule>& modules, bool expectSuccess) {
  bool ok = writer.Begin(run);
  for (const SampleTable& s : tables) {
    ok = ok && writer.BeginTable(s.table);
    for (const Row& row : s.rows) ok = ok && writer.WriteRow(row);
    ok = ok && writer.EndTable({static_cast<int64_t>(s.rows.size() / 10 + 1), {}});
  }
  ok = ok && writer.AddModules(modules) && writer.Finish();
  if (!ok && expectSuccess) ADD_FAILURE() << "export failed: " << writer.error();
  return ok;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> EntriesOf(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string InChildWithFileLimit(size_t limit, const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    setrlimit(RLIMIT_FSIZE, &rl);
    const std::string message = body();
    [[maybe_unused]] const ssize_t n = write(fds[1], message.data(), message.size());
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string message;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return message;
}

}  // namespace ravelin::testing
