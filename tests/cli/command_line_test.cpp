// The command line as a new user meets it: usage errors said plainly,
// names found as SQL Server finds them, bad input refused with its reason,
// help that fits and agrees with the README, a progress bar that fits the
// terminal, log files in the state folder, snapshots that say why they
// cannot be loaded.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_context.h"
#include "cli/command_options.h"
#include "cli/help_format.h"
#include "cli/name_lookup.h"
#include "storage/memory_env.h"
#include "support/catalog_image.h"
#include "support/run_command.h"
#include "support/synthetic.h"

namespace ravelin {
namespace {

using testing::CommandResult;
using testing::RunInProcess;
using testing::RunRavelin;
using testing::TempDir;

const std::string kSample = std::string(RAVELIN_SOURCE_DIR) + "/samples/northwind-sql2000.mdf";

TEST(CommandLine, UsageErrorsAreSaidPlainly) {
  auto misspelt = RunRavelin({"row", kSample, "Orders"});
  EXPECT_EQ(misspelt.exitCode, 2);
  EXPECT_EQ(misspelt.err, "ravelin: unknown command 'row', did you mean 'rows'?\n");
  auto unknown = RunRavelin({"frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err.rfind("ravelin: unknown command 'frobnicate'; the commands are info, page, schema", 0), 0u);
  auto none = RunRavelin({});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_EQ(none.err.rfind("ravelin: name a command: info, page", 0), 0u) << none.err;

  auto version = RunRavelin({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("ravelin ", 0), 0u);

  auto page = RunRavelin({"show", kSample, "Orders", "--page", "0"});
  EXPECT_EQ(page.exitCode, 2);
  EXPECT_EQ(page.err.rfind("--page: must be a whole number, 1 or more (not 0)\n", 0), 0u) << page.err;
  auto limit = RunRavelin({"rows", kSample, "Orders", "--limit", "lots"});
  EXPECT_EQ(limit.exitCode, 2);
  EXPECT_EQ(limit.err.rfind("--limit: must be a whole number, 0 or more (not lots)\n", 0), 0u) << limit.err;

  EXPECT_EQ(CountProblem("5", 1, 10), "");
  EXPECT_EQ(CountProblem("11", 1, 10), "must be a whole number, from 1 to 10 (not 11)");
  EXPECT_EQ(CountProblem("2.5", 0, 10), "must be a whole number, from 0 to 10 (not 2.5)");
  EXPECT_EQ(CountProblem("99999999999999999999", 0, std::numeric_limits<int32_t>::max()),
            "must be a whole number, 0 or more (not 99999999999999999999)");
}

std::vector<NameCandidate> Candidates(const std::vector<std::pair<std::string, std::string>>& names) {
  std::vector<NameCandidate> out;
  for (size_t i = 0; i < names.size(); ++i) out.push_back({names[i].first, names[i].second, i});
  return out;
}

TEST(NameLookup, AsSqlServerResolvesNames) {
  EXPECT_EQ(SplitTypedName("[dbo].[Order Details]"), (std::vector<std::string>{"dbo", "Order Details"}));
  EXPECT_EQ(SplitTypedName("\"a\"\"b\".c"), (std::vector<std::string>{"a\"b", "c"}));
  EXPECT_EQ(SplitTypedName("[x]]y]"), (std::vector<std::string>{"x]y"}));
  EXPECT_EQ(SplitTypedName("db.dbo.t"), (std::vector<std::string>{"db", "dbo", "t"}));

  const std::vector<NameCandidate> names = Candidates({{"dbo", "Events"},
                                                       {"dbo", "Order Details"},
                                                       {"sales", "Orders"},
                                                       {"dbo", "Orders"},
                                                       {"sales", "Region"},
                                                       {"hr", "Region"},
                                                       {"", "a.b"},
                                                       {"dbo", "Events"}});
  auto found = [&](const std::string& typed) {
    const NameMatch m = MatchName(names, typed);
    return m.found ? static_cast<int>(m.index) : -1;
  };
  EXPECT_EQ(found("Events"), 0);
  EXPECT_EQ(found("dbo.events"), 0) << "the same name read twice is one object";
  EXPECT_EQ(found("[DBO].[EVENTS]"), 0);
  EXPECT_EQ(found("\"order details\""), 1);
  EXPECT_EQ(found("mydb.dbo.Order Details"), 1);
  EXPECT_EQ(found("Orders"), 3) << "an unqualified name prefers dbo";
  EXPECT_EQ(found("SALES.orders"), 2);
  EXPECT_EQ(found("a.b"), 6) << "a name with a dot of its own";
  const NameMatch region = MatchName(names, "region");
  EXPECT_FALSE(region.found);
  EXPECT_EQ(region.ambiguous, (std::vector<std::string>{"hr.Region", "sales.Region"}));
  EXPECT_EQ(SuggestionText(region), "It could be any of: hr.Region, sales.Region.");
  const NameMatch typo = MatchName(names, "dbo.Evnets");
  EXPECT_FALSE(typo.found);
  EXPECT_EQ(SuggestionText(typo), "Did you mean dbo.Events?");
  EXPECT_EQ(SuggestionText(MatchName(names, "qqqqqqqqqqqqqq")), "");
}

// A name whose characters damage changed is found from the name typed
// whole, where it alone differs only in characters that look damaged.
TEST(CommandLine, NamesDamageChangedAreFoundFromTheTypedName) {
  const std::vector<NameCandidate> names = Candidates({{"dbo",
                                                        "Order\xEF\xBC\xA0"
                                                        "Details"},                        // U+FF20 for the blank
                                                       {"dbo", "Territo\xEF\xBD\xB2ies"},  // U+FF72 for the r
                                                       {"dbo", "Shippers"},
                                                       {"dbo", "Ab\xC2\x8D"},
                                                       {"dbo", "A\xC2\x8D\xC2\x8D"}});
  const NameMatch details = MatchName(names, "dbo.Order Details");
  ASSERT_TRUE(details.found);
  EXPECT_EQ(details.index, 0u);
  const std::optional<Warning> warning = DamagedNameWarning(details, "dbo.Order Details");
  ASSERT_TRUE(warning);
  EXPECT_EQ(FormatWarning(*warning),
            "warning: dbo.Order Details: nothing has this name; dbo.Order\xEF\xBC\xA0"
            "Details, whose name differs "
            "from it only in characters that look damaged, is taken");
  EXPECT_EQ(MatchName(names, "[territories]").index, 1u);
  EXPECT_FALSE(DamagedNameWarning(MatchName(names, "Shippers"), "Shippers")) << "an intact name is no damaged one";
  EXPECT_FALSE(MatchName(names, "Shipperz").found) << "a different ordinary character is another name";
  EXPECT_FALSE(MatchName(names, "Terr").found) << "a name of another length";
  EXPECT_FALSE(MatchName(names, "Abc").found) << "two candidates fit: neither is taken";
}

TEST(CommandLine, TablesFoundWithOrWithoutTheirSchema) {
  for (const std::string name :
       {"dbo.Order Details", "Order Details", "[dbo].[Order Details]", "\"ORDER DETAILS\"", "order details"}) {
    auto r = RunRavelin({"rows", kSample, name, "--limit", "1", "--quiet"});
    EXPECT_EQ(r.exitCode, 0) << name << r.err;
    EXPECT_EQ(r.out.rfind("OrderID\tProductID\tUnitPrice\tQuantity\tDiscount\n", 0), 0u) << name;
  }
  auto miss = RunRavelin({"rows", kSample, "dbo.Ordres", "--quiet"});
  EXPECT_EQ(miss.exitCode, 1);
  EXPECT_EQ(miss.err, "No table named dbo.Ordres in " + kSample + ". Did you mean dbo.Orders?\n");
  auto definition = RunRavelin({"definition", kSample, "[dbo].[custorderhist]"});
  EXPECT_EQ(definition.exitCode, 0);
  EXPECT_EQ(definition.out.rfind("CREATE PROCEDURE CustOrderHist", 0), 0u);
  const std::string data = testing::TestDataDir();
  if (data.empty()) return;
  auto events = RunRavelin({"rows", data + "/aspnetdb-sql2008-webshopinholland.mdf", "Events", "--quiet"});
  EXPECT_EQ(events.exitCode, 0);
  EXPECT_EQ(std::count(events.out.begin(), events.out.end(), '\n'), 53);
}

TEST(CommandLine, BadInputIsRefusedWithItsReason) {
  TempDir dir;
  const std::string missing = dir.path() + "/missing.mdf";
  const std::string empty = dir.Write("empty.mdf", {});
  const std::string shortFile = dir.Write("short.mdf", Bytes(100, 1));
  const std::string zeros = dir.Write("zeros.mdf", Bytes(16 * kPageSize, 0));
  const std::map<std::string, std::string> expected = {
      {missing, "File cannot be open........... " + missing + ": No such file or directory\n"},
      {dir.path(), "File cannot be open........... " + dir.path() + ": it is a directory\n"},
      {"/dev/null",
       "File cannot be open........... /dev/null: it is a device or another special file, not a regular file\n"},
      {empty,
       "Wheteher File is not valid mdf file or file is highly corrupted........... " + empty + ": the file is empty\n"},
      {shortFile, "Wheteher File is not valid mdf file or file is highly corrupted........... " + shortFile +
                      ": the file holds 100 bytes, less than one page of 8192 bytes\n"},
      {zeros, "Wheteher File is not valid mdf file or file is highly corrupted........... " + zeros +
                  ": none of its pages is a page of a SQL Server system table: it is not a SQL Server data file, or "
                  "its catalog is lost\n"},
  };
  for (const auto& [path, message] : expected) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"info", path}, {"rows", path, "t"}, {"schema", path}}) {
      auto r = RunRavelin(args);
      EXPECT_EQ(r.exitCode, 1) << args[0] << " " << path;
      EXPECT_EQ(r.err, message) << args[0];
      EXPECT_TRUE(r.out.empty());
    }
  }
  if (geteuid() != 0) {
    const std::string locked = dir.Write("locked.mdf", Bytes(kPageSize));
    chmod(locked.c_str(), 0);
    EXPECT_EQ(RunRavelin({"info", locked}).err, "File cannot be open........... " + locked + ": Permission denied\n");
  }
  // A recovery run keeps the desktop's words and adds the reason after them.
  auto scan = RunRavelin({"scan", empty, "--log-dir", dir.path(), "--quiet"});
  EXPECT_EQ(scan.exitCode, 1);
  EXPECT_NE(scan.err.find("Wheteher File is not valid mdf file or file is highly corrupted........... " + empty +
                          ": the file is empty\n"),
            std::string::npos)
      << scan.err;
}

TEST(CommandLine, HelpFitsAndTheReadmeAgrees) {
  auto help = RunRavelin({"--help"});
  ASSERT_EQ(help.exitCode, 0);
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) {
    size_t columns = 0;
    for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
    EXPECT_LE(columns, 80u) << line;
  }
  const size_t from = help.out.find("Exit codes:\n");
  ASSERT_NE(from, std::string::npos);
  const std::string table = help.out.substr(from, help.out.find("\n\n", from) - from + 1);
  std::ifstream in(RAVELIN_SOURCE_DIR "/README.md");
  const std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(readme.find(table), std::string::npos) << "README must hold, as --help prints it:\n" << table;
  for (const char* command : {"info", "page", "schema", "rows", "scan", "show", "definition"}) {
    auto sub = RunRavelin({command, "--help"});
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_NE(sub.out.find(table), std::string::npos) << command;
  }
  EXPECT_EQ(WrapText("  3  partial: something was recovered, but rows are missing", 30),
            "  3  partial: something was\n     recovered, but rows are\n     missing");
  EXPECT_EQ(WrapText("one two three\nfour", 9), "one two\nthree\nfour");
}

// Runs `args` in this process with stderr on a terminal `columns` wide
// (and stdout in a file); what the terminal received.
std::string OnATerminal(const std::vector<std::string>& args, int columns, Env* env, bool pipedOut = false) {
  int master = -1, slave = -1;
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = 24;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return "no pty";
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<size_t>(n));
  });
  std::vector<std::string> argv = {"ravelin"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<const char*> cargv;
  for (const std::string& a : argv) cargv.push_back(a.c_str());
  CliContext context;
  context.env = env;
  int pipeEnds[2] = {-1, -1};
  std::thread drain;
  if (pipedOut && pipe(pipeEnds) == 0) {
    context.out = fdopen(pipeEnds[1], "w");
    drain = std::thread([&] {
      char buffer[4096];
      while (read(pipeEnds[0], buffer, sizeof buffer) > 0) {
      }
    });
  } else {
    context.out = std::tmpfile();
  }
  context.err = fdopen(slave, "w");
  RunCommandLine(static_cast<int>(cargv.size()), cargv.data(), context);
  std::fclose(context.out);
  std::fclose(context.err);  // closes the slave: the reader sees the end
  reader.join();
  close(master);
  if (drain.joinable()) {
    drain.join();
    close(pipeEnds[0]);
  }
  return received;
}

TEST(CommandLine, TheProgressBarFitsTheTerminal) {
  MemoryEnv env;
  env.AddFile("/db/northwind.mdf", testing::ReadFileBytes(kSample));
  // A page that cannot be read: a warning while the bar is shown.
  env.FailReads("/db/northwind.mdf", 205 * kPageSize + 100, 1, EIO);
  for (int columns : {80, 40, 12}) {
    const std::string shown = OnATerminal({"rows", "/db/northwind.mdf", "Orders"}, columns, &env);
    ASSERT_NE(shown, "no pty");
    EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << columns;
    // Every drawing of the bar (what follows a clear and ends without a
    // line feed) leaves the last column free.
    size_t at = 0, bars = 0;
    while ((at = shown.find("\r\033[K", at)) != std::string::npos) {
      at += 4;
      const size_t end = shown.find_first_of("\r\n", at);
      // The terminal turns each line feed into CR LF.
      if (end != std::string::npos && (shown[end] == '\n' || shown.compare(end, 2, "\r\n") == 0)) continue;
      const std::string bar = shown.substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (bar.empty()) continue;
      ++bars;
      EXPECT_LT(bar.size(), static_cast<size_t>(columns)) << columns << ": " << bar;
    }
    EXPECT_GT(bars, 0u) << columns;
    // The warning starts on a line of its own: the bar was cleared first.
    EXPECT_NE(shown.find("\r\033[Kwarning: northwind.mdf: page could not be read"), std::string::npos) << shown;
  }
  // Never with --quiet, nor when stdout is a pipe (a pager would be drawn
  // over); the warning still comes.
  for (bool piped : {false, true}) {
    const std::vector<std::string> args =
        piped ? std::vector<std::string>{"rows", "/db/northwind.mdf", "Orders"}
              : std::vector<std::string>{"rows", "/db/northwind.mdf", "Orders", "--quiet"};
    const std::string shown = OnATerminal(args, 80, &env, piped);
    EXPECT_EQ(shown.find("\033[K"), std::string::npos) << shown;
    EXPECT_NE(shown.find("warning: northwind.mdf: page could not be read"), std::string::npos);
  }
}

// Sets environment variables for one test and puts them back.
class ScopedEnvironment {
 public:
  void Set(const char* name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) saved_[name] = getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) Set(name.c_str(), value);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(CommandLine, LogFilesGoToTheStateFolder) {
  TempDir root;
  ScopedEnvironment environment;
  MemoryEnv env;
  env.AddFile("/db/small.mdf", testing::SmallCatalogImage().Build());
  std::filesystem::create_directories(root.path() + "/home");
  environment.Set("HOME", root.path() + "/home");
  environment.Set("XDG_STATE_HOME", root.path() + "/state");
  auto r = RunInProcess({"scan", "/db/small.mdf"}, &env);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Log file path : " + root.path() + "/state/ravelin/VelmoraSQLDatabaseRec_log_"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(root.path() + "/home/Desktop"));

  // No usable home: the run goes on without a log file and says so once.
  environment.Set("XDG_STATE_HOME", std::nullopt);
  environment.Set("HOME", root.path() + "/gone");
  auto homeless = RunInProcess({"scan", "/db/small.mdf"}, &env);
  EXPECT_EQ(homeless.exitCode, 0) << homeless.err;
  const std::string note = "ravelin: no log file is written: the home folder " + root.path() + "/gone does not exist\n";
  EXPECT_EQ(homeless.err.find(note), 0u) << homeless.err;
  EXPECT_EQ(homeless.err.find(note, 1), std::string::npos);
  EXPECT_EQ(homeless.err.find("Log file path"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root.path() + "/gone"));
  auto shown = RunInProcess({"show", "/db/small.mdf", "dbo.OrderSummary", "--quiet"}, &env);
  EXPECT_EQ(shown.exitCode, 1) << "a view without definition rows: nothing to show";
  EXPECT_EQ(shown.err.find("no log file"), std::string::npos) << "--quiet says nothing of it";

  // A log folder that cannot be used: one error before the run.
  const std::string file = root.Write("file", testing::Ascii("x"));
  auto notAFolder = RunInProcess({"scan", "/db/small.mdf", "--log-dir", file}, &env);
  EXPECT_EQ(notAFolder.exitCode, 1);
  EXPECT_EQ(notAFolder.err, "ravelin: the log folder " + file + " is not a folder (--log-dir)\n");
  EXPECT_TRUE(notAFolder.out.empty());
}

TEST(CommandLine, SnapshotsSayWhyTheyCannotBeLoaded) {
  TempDir dir;
  const std::string data = dir.Write("small.mdf", testing::SmallCatalogImage().Build());
  const std::string snapshot = dir.path() + "/small.MDBSNP";
  ASSERT_EQ(RunRavelin({"scan", data, "--log-dir", dir.path(), "--quiet", "--snapshot-out", snapshot}).exitCode, 0);
  const Bytes bytes = testing::ReadFileBytes(snapshot);

  const std::string cut = dir.Write("cut.MDBSNP", Bytes(bytes.begin(), bytes.end() - 5));
  auto truncated = RunRavelin({"scan", "--snapshot", cut, "--log-dir", dir.path()});
  EXPECT_EQ(truncated.exitCode, 1);
  EXPECT_EQ(truncated.err.rfind("Snapshot cannot be loaded: " + cut + ": it is cut short: its " +
                                    std::to_string(bytes.size() - 5) + " bytes end inside its page maps\n",
                                0),
            0u)
      << truncated.err;
  EXPECT_EQ(truncated.err.find("File cannot be open"), std::string::npos) << "the data file is not blamed";

  auto foreign = RunRavelin({"scan", "--snapshot", kSample, "--log-dir", dir.path()});
  EXPECT_EQ(foreign.exitCode, 1);
  EXPECT_EQ(foreign.err,
            "Snapshot cannot be loaded: " + kSample + ": it is not a snapshot file: its header does not read as one\n");

  // The data file it names was replaced by a shorter one.
  dir.Write("small.mdf", Bytes(10 * kPageSize, 0));
  auto other = RunRavelin({"scan", "--snapshot", snapshot, "--log-dir", dir.path()});
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_EQ(other.err.rfind("Snapshot cannot be loaded: " + snapshot + ": it does not belong to " + data +
                                ": its page maps name page 39, but the file has 10 pages\n",
                            0),
            0u)
      << other.err;
}

}  // namespace
}  // namespace ravelin
