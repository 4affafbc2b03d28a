// The /R job end to end through the real program, against the PostgreSQL fixture that
// scripts/test starts. The connection string comes on standard input, as from a pipe; the
// terminal prompt runs under script(1), which gives the program a terminal of its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support.h"

namespace {

const std::string kCountLine = "\t3 tables have no identity columns\n";
const NoIdentityTableSet kSampleTables = {"customers", "notatable", "regions"};
const std::string kEarlierOutput = "-- the output file as it was before the run\r\n";

// A scratch directory with the sample script as input and an output file that already
// holds kEarlierOutput.
struct JobFiles {
  ScratchDir dir;
  std::string input = (dir / "in.sql").string();
  std::string output = (dir / "out.sql").string();

  explicit JobFiles(const std::string& script = ReadFixture("sample-replication.sql")) {
    WriteFile(input, script);
    WriteFile(output, kEarlierOutput);
  }
};

ProgramRun RunJob(const JobFiles& files, const std::string& standardInput) {
  return RunProgram({"/R", files.input, files.output}, standardInput);
}

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

// An odbc.ini entry named `name` for the database that `connection` reaches.
std::string DataSourceEntry(const std::string& name, const std::string& connection) {
  std::string entry = "[" + name + "]\n";
  std::size_t start = 0;
  while (start < connection.size()) {
    std::size_t end = connection.find(';', start);
    if (end == std::string::npos) end = connection.size();
    std::string pair = connection.substr(start, end - start);
    for (const auto& [from, to] :
         {std::pair{"Server=", "Servername="}, std::pair{"Uid=", "Username="},
          std::pair{"Pwd=", "Password="}}) {
      if (pair.starts_with(from)) pair = to + pair.substr(std::string_view(from).size());
    }
    entry += pair + "\n";
    start = end + 1;
  }
  return entry;
}

TEST(ReplicationJob, CountsDistinctTablesWithoutIdentityAndWritesTheScript) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const JobFiles files;
  const ProgramRun run = RunJob(files, connection + "\n");
  // objectdefn lists three identity tables, a 'v' name, 'customers' twice and an empty name.
  EXPECT_EQ(run.out, kCountLine);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0);
  const std::string written = ReadFile(files.output);
  EXPECT_EQ(written, Transform(ReadFixture("sample-replication.sql"), kSampleTables));
  // The set reached the transformer: orders has an identity column, customers has none.
  EXPECT_NE(written.find("IF object_id('dbo.[sp_msins_dboorders]') IS NOT NULL"),
            std::string::npos);
  EXPECT_NE(written.find("set identity_insert  orders ON"), std::string::npos);
  EXPECT_EQ(written.find("set identity_insert  customers"), std::string::npos);
}

// Each kind's mixed CR LF script comes out as its expected file, with the set read from the
// database: insert procedures of tables with an identity column get their switch lines, update
// procedures keep their head and second block, delete procedures get their test commented out.
TEST(ReplicationJob, RewritesMixedScriptsOfEachKind) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  for (const std::string kind : {"insert", "update", "delete"}) {
    const JobFiles files(ReadFixture(kind + "-mixed-crlf.sql"));
    const ProgramRun run = RunJob(files, connection + "\n");
    EXPECT_EQ(run.out, kCountLine) << kind;
    EXPECT_EQ(run.exitCode, 0) << kind;
    const std::string written = ReadFile(files.output);
    EXPECT_EQ(written, ReadFixture(kind + "-mixed-crlf.expected.sql")) << kind;
    if (kind != "delete") continue;
    // Every delete procedure closes each block comment that it opens.
    constexpr std::string_view kKeyword = "create procedure ";
    const std::string_view text = written;
    for (std::size_t at = text.find(kKeyword); at != std::string_view::npos;) {
      const std::size_t next = text.find(kKeyword, at + 1);
      const std::string_view procedure = text.substr(at, next - at);
      int depth = 0;
      for (std::size_t i = 0; i + 1 < procedure.size(); ++i) {
        if (procedure.substr(i, 2) == "/*")
          ++depth, ++i;
        else if (procedure.substr(i, 2) == "*/")
          --depth, ++i;
        ASSERT_GE(depth, 0) << procedure;
      }
      EXPECT_EQ(depth, 0) << procedure;
      at = next;
    }
  }
}

struct PromptFailure {
  std::string what;
  std::string standardInput;
  std::string err;  // without "qtvdbadmin: "; empty for a cancelled prompt, which says nothing
};

// Each case prints nothing on standard output, says why on standard error, fails and leaves the
// output as it was.
void ExpectPromptFailures(const std::vector<PromptFailure>& cases) {
  for (const PromptFailure& c : cases) {
    const JobFiles files;
    const ProgramRun run = RunJob(files, c.standardInput);
    EXPECT_EQ(run.out, "") << c.what;
    EXPECT_EQ(run.err, ErrorLine(c.err)) << c.what;
    EXPECT_EQ(run.exitCode, 255) << c.what;
    EXPECT_EQ(ReadFile(files.output), kEarlierOutput) << c.what;
  }
}

TEST(ReplicationJob, CancelledPromptSaysNothingAndLeavesTheOutput) {
  ExpectPromptFailures({
      {"end of input", "", ""},
      {"empty line", "\n", ""},
      {"blank line", " \t\r\n", ""},
      {"empty first line; a pipe gets no second chance",
       "\nDriver=PostgreSQL Unicode;Server=127.0.0.1\n", ""},
  });
}

TEST(ReplicationJob, ChoiceThatCannotConnectSaysWhyAndLeavesTheOutput) {
  ExpectPromptFailures({
      {"no data source has number 0", "0\n", "cannot connect: there is no data source number 0"},
      {"no data source has a huge number", "99999999999999999999999\n",
       "cannot connect: there is no data source number 99999999999999999999999"},
      {"a driver that is not installed", "Driver=No Such Driver;Server=127.0.0.1\n",
       "cannot connect: [unixODBC][Driver Manager]Can't open lib 'No Such Driver' : file not "
       "found (01000)"},
  });
}

TEST(ReplicationJob, FailuresOfTheTransformerFollowTheCountLine) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  {
    JobFiles files;
    std::filesystem::remove(files.input);
    const ProgramRun run = RunJob(files, connection + "\n");
    EXPECT_EQ(run.out, kCountLine + "file open error!!!\n");
    EXPECT_EQ(run.err, ErrorLine("cannot read '" + files.input + "': No such file or directory"));
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(ReadFile(files.output), kEarlierOutput);
  }
  {
    // The keyword at the very end of the script: narrow text written before the exception
    // and the exception's report arrive in order.
    const JobFiles files("go\r\ncreate procedure ");
    const ProgramRun run = RunJob(files, connection + "\n");
    EXPECT_EQ(run.out, kCountLine + "sdt exception : cannot do script transfarmation");
    EXPECT_EQ(run.err, ErrorLine("the script ends with \"create procedure\""));
    EXPECT_EQ(run.exitCode, 252);
  }
}

TEST(ReplicationJob, DataSourceNumberFromAPipeConnects) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  QTV_REQUIRE_CONNECTION(unreachable, "QTV_TEST_ODBC_UNREACHABLE");
  const JobFiles files;
  const std::string odbcIni = (files.dir / "odbc.ini").string();
  WriteFile(odbcIni,
            DataSourceEntry("qtvbroken", unreachable) + DataSourceEntry("qtvsample", connection));
  const std::vector<std::string> command{"env", "ODBCINI=" + odbcIni, QTV_PROGRAM,
                                         "/R",  files.input,          files.output};

  const ProgramRun broken = RunCommand(command, "1\n");
  EXPECT_EQ(broken.out, "");
  EXPECT_EQ(broken.err, ErrorLine("cannot connect: connection to server at \"127.0.0.1\", port 1 "
                                  "failed: Connection refused Is the server running on that host "
                                  "and accepting TCP/IP connections? (08001)"));
  EXPECT_EQ(broken.exitCode, 255);
  EXPECT_EQ(ReadFile(files.output), kEarlierOutput);

  const ProgramRun sample = RunCommand(command, "2\n");
  EXPECT_EQ(sample.out, kCountLine);
  EXPECT_EQ(sample.err, "");
  EXPECT_EQ(sample.exitCode, 0);
}

// Runs the job with a terminal as standard input and `typed` as what the operator types;
// the program's standard output goes to a file. Returns the terminal's transcript.
ProgramRun RunJobOnTerminal(const JobFiles& files, const std::string& odbcIni,
                            const std::string& typed, std::string& standardOutput) {
  const std::string stdoutFile = (files.dir / "stdout.txt").string();
  const std::string job = Quoted(QTV_PROGRAM) + " /R " + Quoted(files.input) + " " +
                          Quoted(files.output) + " >" + Quoted(stdoutFile);
  ProgramRun run =
      RunCommand({"env", "ODBCINI=" + odbcIni, "script", "-qec", job, "/dev/null"}, typed);
  standardOutput = ReadFile(stdoutFile);
  return run;
}

TEST(ReplicationJob, TerminalPromptListsChoicesAndAsksAgainUntilOneConnects) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  QTV_REQUIRE_CONNECTION(unreachable, "QTV_TEST_ODBC_UNREACHABLE");
  if (!std::filesystem::exists("/usr/bin/script")) GTEST_SKIP() << "script(1) is not installed";
  const JobFiles files;
  const std::string odbcIni = (files.dir / "odbc.ini").string();
  WriteFile(odbcIni,
            DataSourceEntry("qtvbroken", unreachable) + DataSourceEntry("qtvsample", connection));

  std::string standardOutput;
  const ProgramRun connected =
      RunJobOnTerminal(files, odbcIni, "1\n0\n" + unreachable + "\n2\n", standardOutput);
  EXPECT_EQ(connected.exitCode, 0);
  EXPECT_EQ(standardOutput, kCountLine);
  const std::string& terminal = connected.out;
  EXPECT_NE(terminal.find("  1  qtvbroken (PostgreSQL Unicode)"), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("  2  qtvsample (PostgreSQL Unicode)"), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("PostgreSQL Unicode\r\n"), std::string::npos) << terminal;  // the drivers
  EXPECT_NE(terminal.find("there is no data source number 0"), std::string::npos) << terminal;
  // Both failed connections show the driver's diagnostic, on one line; then the prompt comes
  // again.
  const std::string refusedLine =
      "cannot connect: connection to server at \"127.0.0.1\", port 1 failed: Connection refused "
      "Is the server running on that host and accepting TCP/IP connections? (08001)\r\n";
  const std::size_t refused = terminal.find(refusedLine);
  ASSERT_NE(refused, std::string::npos) << terminal;
  EXPECT_NE(terminal.find(refusedLine, refused + 1), std::string::npos) << terminal;
  EXPECT_EQ(terminal.find("tables have no identity columns"), std::string::npos) << terminal;

  const ProgramRun cancelled = RunJobOnTerminal(files, odbcIni, "1\n\n2\n", standardOutput);
  EXPECT_EQ(cancelled.exitCode, 255);
  EXPECT_EQ(standardOutput, "");
  EXPECT_EQ(ReadFile(files.output),
            Transform(ReadFixture("sample-replication.sql"), kSampleTables));
}

// A choice refused before any driver sees it is told on the terminal like a failed
// connection, and the question comes again.
TEST(ReplicationJob, TerminalPromptRefusesAnOverlongDriverNameAndAsksAgain) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  if (!std::filesystem::exists("/usr/bin/script")) GTEST_SKIP() << "script(1) is not installed";
  const JobFiles files;
  const std::string odbcIni = (files.dir / "odbc.ini").string();
  WriteFile(odbcIni, "");
  std::string standardOutput;
  const ProgramRun run = RunJobOnTerminal(
      files, odbcIni, "Driver=" + std::string(300, 'd') + "\n" + connection + "\n", standardOutput);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(standardOutput, kCountLine);
  const std::size_t refused =
      run.out.find("cannot connect: the DRIVER value is longer than 255 bytes");
  ASSERT_NE(refused, std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Data source number or connection string", refused), std::string::npos)
      << run.out;
}

}  // namespace
