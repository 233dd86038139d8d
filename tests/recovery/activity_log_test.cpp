#include "recovery/activity_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "support/recording_sink.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::Concat;
using testing::ReadFileBytes;
using testing::RecordingSink;
using testing::TempDir;
using testing::Utf16;

std::tm Time(int day, int month, int year, int hour, int minute, int second) {
  std::tm t{};
  t.tm_mday = day;
  t.tm_mon = month - 1;
  t.tm_year = year - 1900;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

const Bytes kBom = {0xFF, 0xFE};
const Bytes kCrLf = {0x0D, 0x00, 0x0A, 0x00};

Bytes Separator() { return Utf16("\r\n" + std::string(80, '*') + "\r\n"); }
Bytes Line(const std::string& text) { return Concat({Utf16(text), kCrLf}); }

TEST(ActivityLog, FileNameHasNoLeadingZeros) {
  EXPECT_EQ(LogFileName(Time(1, 1, 2025, 23, 5, 9)), "VelmoraSQLDatabaseRec_log_1-1-2025-23-5-9.txt");
  EXPECT_EQ(LogFileName(Time(5, 3, 2024, 9, 7, 3)), "VelmoraSQLDatabaseRec_log_5-3-2024-9-7-3.txt");
  EXPECT_EQ(LogFileName(Time(31, 12, 1999, 0, 0, 0)), "VelmoraSQLDatabaseRec_log_31-12-1999-0-0-0.txt");
}

TEST(ActivityLog, NewFileHoldsBomSeparatorAndUtf16Lines) {
  TempDir dir;
  ActivityLog log;
  ASSERT_TRUE(log.Start(dir.path() + "/", Time(1, 1, 2025, 23, 5, 9))) << log.error();
  EXPECT_EQ(log.path(), dir.path() + "/VelmoraSQLDatabaseRec_log_1-1-2025-23-5-9.txt");
  EXPECT_TRUE(log.IsOpen());
  EXPECT_TRUE(log.AppendLogLine("Scanning of file starts..."));
  EXPECT_TRUE(log.AppendLogLine("Größe \xE2\x82\xAC \xF0\x9F\x98\x80"));  // ö, €, and a pair of surrogates
  EXPECT_TRUE(log.AppendLogLine(""));
  log.Close();
  EXPECT_FALSE(log.IsOpen());

  Bytes file = ReadFileBytes(log.path());
  Bytes separator = Separator();
  ASSERT_EQ(separator.size(), 2u * 84);
  EXPECT_EQ(Bytes(separator.begin(), separator.begin() + 6), (Bytes{0x0D, 0, 0x0A, 0, '*', 0}));
  Bytes nonAscii = {'G',  0,    'r', 0, 0xF6, 0,    0xDF, 0,    'e',  0, ' ',  0,
                    0xAC, 0x20, ' ', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x0D, 0, 0x0A, 0};
  EXPECT_EQ(file, Concat({kBom, separator, Line("Scanning of file starts..."), nonAscii, kCrLf}));
}

TEST(ActivityLog, RunsInTheSameSecondAppendToOneFile) {
  TempDir dir;
  ActivityLog log;
  const std::tm t = Time(5, 3, 2024, 9, 7, 3);
  ASSERT_TRUE(log.Start(dir.path(), t));  // the missing '/' is supplied
  log.AppendLogLine("one");
  ASSERT_TRUE(log.Start(dir.path() + "/", t));  // closes the first run's file
  log.AppendLogLine("two");
  log.Close();
  EXPECT_EQ(ReadFileBytes(log.path()), Concat({kBom, Separator(), Line("one"), Separator(), Line("two")}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  // A file left empty (say by a crash before its first write) still gets
  // its byte order mark.
  std::string empty = dir.Write(LogFileName(Time(2, 2, 2022, 2, 2, 2)), {});
  ASSERT_TRUE(log.Start(dir.path() + "/", Time(2, 2, 2022, 2, 2, 2)));
  log.Close();
  EXPECT_EQ(ReadFileBytes(empty), Concat({kBom, Separator()}));
}

TEST(ActivityLog, FileThatCannotBeCreatedIsReportedNotFatal) {
  TempDir dir;
  const std::tm t = Time(1, 1, 2025, 23, 5, 9);
  // A folder that vanished, a directory of the log's name, and a FIFO of
  // that name (which must not block the run).
  std::filesystem::create_directories(dir.path() + "/dir/" + LogFileName(t));
  std::filesystem::create_directories(dir.path() + "/fifo");
  ASSERT_EQ(mkfifo((dir.path() + "/fifo/" + LogFileName(t)).c_str(), 0600), 0);
  for (const std::string folder : {"/missing/", "/dir/", "/fifo/"}) {
    ActivityLog log;
    EXPECT_FALSE(log.Start(dir.path() + folder, t)) << folder;
    EXPECT_FALSE(log.IsOpen()) << folder;
    EXPECT_NE(log.error().find(log.path()), std::string::npos) << log.error();
    EXPECT_TRUE(log.AppendLogLine("nothing to do")) << folder;
  }
}

TEST(ActivityLog, WriteFailureClosesTheFileAndIsAnnouncedOnce) {
  TempDir dir;
  ActivityLog log;
  RecordingSink output;
  LoggingSink sink(output, log);
  ASSERT_TRUE(log.Start(dir.path() + "/", Time(3, 4, 2025, 1, 2, 3)));
  const auto size = static_cast<rlim_t>(ReadFileBytes(log.path()).size());

  // A file size limit stands in for a full disk.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = size + 11;  // room for "ab" and a part of the next line
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  sink.AppendLogLine("ab");
  sink.AppendLogLine("cdefgh");
  sink.AppendLogLine("ij");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(log.IsOpen());
  auto lines = output.Texts('L');
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "ab");
  EXPECT_EQ(lines[1], "cdefgh");
  EXPECT_NE(lines[2].find("Log file cannot be written: " + log.path()), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3], "ij");
}

TEST(ActivityLog, LoggingSinkForwardsEverythingAndFilesOnlyLogLines) {
  TempDir dir;
  ActivityLog log;
  RecordingSink output;
  LoggingSink sink(output, log);
  ASSERT_TRUE(log.Start(dir.path() + "/", Time(3, 4, 2025, 1, 2, 3)));
  sink.SetProgressRange(0, 10);
  sink.SetProgressPos(4);
  sink.SetStatusText("Checking for file corruption ...........");
  sink.AppendLogLine("Creating Tree.........");
  sink.ReportError("File cannot be open...........");
  log.Close();

  auto events = output.events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].kind, 'R');
  EXPECT_EQ(events[0].b, 10);
  EXPECT_EQ(events[1].a, 4);
  EXPECT_EQ(events[2].text, "Checking for file corruption ...........");
  EXPECT_EQ(events[3].text, "Creating Tree.........");
  EXPECT_EQ(events[4].kind, 'E');
  EXPECT_EQ(ReadFileBytes(log.path()), Concat({kBom, Separator(), Line("Creating Tree.........")}));
}

TEST(ActivityLog, OpenAndLoadStartTheirLogsDifferently) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/exe");
  ActivityLog log;
  RecordingSink output;
  LoggingSink sink(output, log);
  RecoverySettings settings;
  settings.logFolder = dir.path() + "/";
  settings.dataFilePath = "/data/Sales.mdf";

  // Open: the dialog's folder, the stored path, and the first line.
  const std::tm t = Time(1, 1, 2025, 23, 5, 9);
  ASSERT_TRUE(StartRunLog(RunStart::kOpen, t, dir.path() + "/exe", settings, sink));
  const std::string openLog = dir.path() + "/" + LogFileName(t);
  EXPECT_EQ(settings.logFilePath, openLog);
  EXPECT_EQ(output.Texts('L'), std::vector<std::string>{"/data/Sales.mdf File is selected for recovery...."});
  EXPECT_EQ(ReadFileBytes(openLog),
            Concat({kBom, Separator(), Line("/data/Sales.mdf File is selected for recovery....")}));

  // Load: the executable's folder becomes the log folder; the stored path
  // and the output stay as they were.
  const std::tm t2 = Time(1, 1, 2025, 23, 5, 10);
  ASSERT_TRUE(StartRunLog(RunStart::kLoad, t2, dir.path() + "/exe", settings, sink));
  EXPECT_EQ(output.Texts('L').size(), 1u);
  EXPECT_EQ(settings.logFolder, dir.path() + "/exe/");
  EXPECT_EQ(settings.logFilePath, openLog);
  EXPECT_EQ(log.path(), dir.path() + "/exe/" + LogFileName(t2));
  EXPECT_EQ(ReadFileBytes(log.path()), Concat({kBom, Separator()}));

  // An Open whose folder has gone: reported, but the line still reaches
  // the output pane.
  settings.logFolder = dir.path() + "/gone/";
  EXPECT_FALSE(StartRunLog(RunStart::kOpen, t, "", settings, sink));
  EXPECT_FALSE(log.error().empty());
  EXPECT_EQ(output.Texts('L').size(), 2u);
}

}  // namespace
}  // namespace ravelin
