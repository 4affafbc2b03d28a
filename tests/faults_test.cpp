// Faults of the /R job, end to end through the real program: inputs and outputs that cannot
// be used, databases that cannot be reached or go away while they are read. Each row says
// what the administrator sees, the exit code and what the output path holds afterwards.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kOldOutput = "old output, must survive\n";
const std::string kNoProcedures = " input file has no replication procedures or not in ascii coding\n";
const std::string kOpenError = "file open error!!!\n";
const std::string kWriteError = "file write error!!!\n";

// Update and delete procedures, whose rewrite does not depend on the catalogue, many enough
// that any output written before the input is read whole would show.
std::string SampleScript() {
  std::string script = "-- Replication procedures\r\nGO\r\n";
  for (int i = 0; i < 1000; ++i) {
    const std::string table = "Table" + std::to_string(i);
    script += "create procedure [dbo].[sp_MSupd_dbo" + table + "]\r\n\t@c1 int, @pkc1 int\r\nas\r\nbegin\r\n"
              "update [dbo].[" + table + "] set [Value] = @c1 where [ID] = @pkc1\r\n\r\n\r\nend\r\nGO\r\n"
              "create procedure [dbo].[sp_MSdel_dbo" + table + "]\r\n\t@pkc1 int\r\nas\r\nbegin\r\n"
              "delete [dbo].[" + table + "] where [ID] = @pkc1\r\nif @@rowcount = 0\r\n"
              "    exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n";
  }
  return script;
}

std::string Utf16(const std::string& ascii, bool bigEndian, bool byteOrderMark) {
  std::string bytes = byteOrderMark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

// The files of one run: `input` and `output` are what the command line names.
struct Files {
  ScratchDir dir;
  std::string input = (dir / "in.sql").string();
  std::string output = (dir / "out.sql").string();
};

struct FileFault {
  std::string label;
  std::function<void(Files&)> setUp;
  std::string message;  // printed after the count line; the input path stands for "<in>"
  int exitCode;
  // What the output path holds afterwards: nullopt when it must not be a file.
  std::function<std::optional<std::string>(const Files&)> outputAfter;
  bool unprivileged = false;  // run as a user that file permissions apply to
};

void PrintTo(const FileFault& fault, std::ostream* out) { *out << fault.label; }

std::optional<std::string> Absent(const Files&) { return std::nullopt; }
std::optional<std::string> OldOutput(const Files&) { return kOldOutput; }
std::optional<std::string> Rewritten(const Files&) { return Transform(SampleScript()); }

void ScriptIn(Files& files) { WriteFile(files.input, SampleScript()); }
void ScriptInOldOut(Files& files) {
  ScriptIn(files);
  WriteFile(files.output, kOldOutput);
}
void InputBytes(Files& files, const std::string& bytes) {
  WriteFile(files.input, bytes);
  WriteFile(files.output, kOldOutput);
}

// The program's command for a run as an unprivileged user. As root that is nobody, running a
// copy of the program from the scratch directory (the build tree may lie where nobody cannot
// reach it); otherwise the current user, whom file permissions bind already.
std::vector<std::string> UnprivilegedProgram(const Files& files) {
  if (geteuid() != 0) return {QTV_PROGRAM};
  const fs::path copy = files.dir / "qtvdbadmin";
  fs::copy_file(QTV_PROGRAM, copy);
  fs::permissions(files.dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
  return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", copy.string()};
}

// /R on the files, choosing the sample catalogue at the prompt.
ProgramRun RunJob(const Files& files, const std::string& connection, bool unprivileged = false) {
  std::vector<std::string> command = unprivileged ? UnprivilegedProgram(files) : std::vector<std::string>{QTV_PROGRAM};
  command.insert(command.end(), {"/R", files.input, files.output});
  return RunCommand(command, connection + "\n");
}

// What the job prints for the sample catalogue before it touches a file.
std::string CountLine(const std::string& connection) {
  Files files;
  WriteFile(files.input, "create procedure [sp_MSsel_dboA]\nGO\n");
  const ProgramRun run = RunJob(files, connection);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  return run.out.substr(0, run.out.find('\n') + 1);
}

std::string Substitute(std::string text, const Files& files) {
  const std::size_t at = text.find("<in>");
  if (at != std::string::npos) text.replace(at, 4, files.input);
  return text;
}

class FileFaults : public testing::TestWithParam<FileFault> {};

TEST_P(FileFaults, ReportAndLeaveTheOutputAsExpected) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const FileFault& fault = GetParam();
  const std::string countLine = CountLine(connection);
  EXPECT_TRUE(countLine.starts_with("\t") && countLine.ends_with(" tables have no identity columns\n")) << countLine;
  Files files;
  fault.setUp(files);
  const ProgramRun run = RunJob(files, connection, fault.unprivileged);
  EXPECT_EQ(run.out, countLine + Substitute(fault.message, files));
  EXPECT_EQ(run.exitCode, fault.exitCode);
  EXPECT_EQ(run.err, "");
  const std::optional<std::string> expected = fault.outputAfter(files);
  if (!expected) {
    EXPECT_FALSE(fs::is_regular_file(files.output));
  } else if (files.output != "/dev/full") {
    EXPECT_TRUE(ReadFile(files.output) == *expected) << "output differs";
  }
}

const FileFault kFileFaults[] = {
    // Output faults: the script is read, the output cannot take it.
    {"OutputToAFullDevice", [](Files& f) { ScriptIn(f); f.output = "/dev/full"; }, kWriteError, 255, Absent},
    {"OutputInAMissingDirectory", [](Files& f) { ScriptIn(f); f.output = (f.dir / "missing" / "out.sql").string(); },
     kWriteError, 255, Absent},
    {"OutputIsADirectory", [](Files& f) { ScriptIn(f); fs::create_directory(f.output); }, kWriteError, 255, Absent},
    {"OutputInADirectoryWithoutWritePermission",
     [](Files& f) {
       ScriptIn(f);
       fs::create_directory(f.dir / "locked");
       fs::permissions(f.dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
       f.output = (f.dir / "locked" / "out.sql").string();
     },
     kWriteError, 255, Absent, true},
    {"OutputFileWithoutWritePermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.output, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
     },
     kWriteError, 255, OldOutput, true},
    // Input faults: nothing is written.
    {"InputMissing", [](Files& f) { WriteFile(f.output, kOldOutput); }, kOpenError, 255, OldOutput},
    {"InputIsADirectory", [](Files& f) { fs::create_directory(f.input); }, kOpenError, 255, Absent},
    {"InputWithoutReadPermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.input, fs::perms::none);
     },
     kOpenError, 255, OldOutput, true},
    {"InputOfZeroBytes", [](Files& f) { InputBytes(f, ""); }, "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputOfZeroBytesNoOutputCreated", [](Files& f) { WriteFile(f.input, ""); }, "input file <in>" + kNoProcedures,
     255, Absent},
    {"InputUtf16LittleEndianWithMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, true)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16LittleEndianWithoutMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, false)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16BigEndianWithMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, true)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16BigEndianWithoutMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, false)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    // The input is read whole before the output is opened, so one file can be both.
    {"OutputIsTheInput", [](Files& f) { ScriptIn(f); f.output = f.input; }, "", 0, Rewritten},
    {"OutputReplacesAnOldFile", ScriptInOldOut, "", 0, Rewritten},
};

INSTANTIATE_TEST_SUITE_P(Job, FileFaults, testing::ValuesIn(kFileFaults),
                         [](const testing::TestParamInfo<FileFault>& info) { return info.param.label; });

// `connection` with `key` set to `value`, appended when it is not there.
std::string WithKey(std::string connection, const std::string& key, const std::string& value) {
  const std::size_t at = (";" + connection).find(";" + key + "=");
  if (at == std::string::npos) return connection + ";" + key + "=" + value;
  const std::size_t from = at + key.size() + 1;
  const std::size_t to = connection.find(';', from);
  return connection.replace(from, to == std::string::npos ? std::string::npos : to - from, value);
}

// A PostgreSQL cluster of its own with the sample catalogue, for faults that stop or break the
// server, so that other tests running meanwhile keep theirs.
class PrivateServer {
 public:
  explicit PrivateServer(int port) : port_(std::to_string(port)) {
    const ProgramRun started = Fixture("start");
    EXPECT_EQ(started.exitCode, 0) << started.err;
    const std::string env = Fixture("env").out;
    const std::string key = "QTV_TEST_ODBC='";
    const std::size_t from = env.find(key) + key.size();
    connection_ = env.substr(from, env.find('\'', from) - from);
  }
  ~PrivateServer() { Stop(); }
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  const std::string& connection() const { return connection_; }

  // Runs `sql` as the cluster's superuser; returns what psql printed, unaligned.
  std::string Superuser(const std::string& database, const std::string& sql) const {
    std::vector<std::string> command;
    if (geteuid() == 0) command = {"runuser", "-u", "postgres", "--"};
    command.insert(command.end(), {"psql", "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-h",
                                   "/var/tmp/qtvdbadmin-pg-" + port_, "-p", port_, "-U", "postgres", "-d",
                                   database, "-c", sql});
    return RunCommand(command).out;
  }

  // Polls `sql`, which yields a count, until it is positive; false after 30 seconds.
  bool WaitFor(const std::string& database, const std::string& sql) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string count = Superuser(database, sql);
      if (!count.empty() && count != "0\n") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  void Stop() {
    if (!stopped_) Fixture("stop");
    stopped_ = true;
  }

 private:
  ProgramRun Fixture(const std::string& verb) const {
    const fs::path script = fs::path(QTV_TEST_DATA).parent_path().parent_path() / "scripts" / "pg-fixture";
    return RunCommand({"env", "QTV_PG_PORT=" + port_, script.string(), verb});
  }

  std::string port_;
  std::string connection_;
  bool stopped_ = false;
};

// How a database fault is made.
enum class Breakage {
  kNone,                          // the connection string alone fails
  kStopServerWhileQueryWaits,     // the query waits for a lock; the server is stopped
  kTerminateWhileQueryWaits,      // the query waits for a lock; its backend is terminated
  kTerminateWhileRowsAreRead,     // the backend terminates itself at the third row
};

struct DatabaseFault {
  std::string label;
  std::function<std::string(const std::string&)> connection;  // from the sample catalogue's
  Breakage breakage = Breakage::kNone;
};

void PrintTo(const DatabaseFault& fault, std::ostream* out) { *out << fault.label; }

// Makes the program's query wait until `server` is broken, or breaks it on the third row.
class Breaker {
 public:
  Breaker(PrivateServer& server, Breakage breakage) : server_(server), breakage_(breakage) {
    if (breakage_ == Breakage::kTerminateWhileRowsAreRead) {
      // Fetched one row at a time, through a lower() that ends its own backend at 'regions',
      // the third name of the sample catalogue.
      server_.Superuser("postgres", "CREATE DATABASE qtvkill TEMPLATE qtvtest");
      server_.Superuser("qtvkill",
                        "CREATE FUNCTION public.lower(t text) RETURNS text LANGUAGE plpgsql VOLATILE AS $$ "
                        "BEGIN IF t = 'regions' THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF; "
                        "RETURN pg_catalog.lower(t); END $$; "
                        "ALTER ROLE qtv IN DATABASE qtvkill SET search_path = public, pg_catalog");
      return;
    }
    holder_ = std::thread([this] {
      server_.Superuser("qtvtest", "BEGIN; LOCK TABLE objectdefn IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(120)");
    });
    EXPECT_TRUE(server_.WaitFor("qtvtest", "SELECT count(*) FROM pg_locks WHERE granted AND "
                                           "mode = 'AccessExclusiveLock' AND relation = 'objectdefn'::regclass"));
  }

  std::string Connection() const {
    if (breakage_ != Breakage::kTerminateWhileRowsAreRead) return server_.connection();
    return WithKey(WithKey(WithKey(server_.connection(), "Database", "qtvkill"), "UseDeclareFetch", "1"), "Fetch", "1");
  }

  // Called while the program runs.
  void Break() {
    if (!holder_.joinable()) return;
    EXPECT_TRUE(server_.WaitFor("qtvtest", "SELECT count(*) FROM pg_stat_activity WHERE usename = 'qtv' AND "
                                           "wait_event_type = 'Lock'"));
    if (breakage_ == Breakage::kStopServerWhileQueryWaits) {
      server_.Stop();
    } else {
      server_.Superuser("postgres", "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE usename = 'qtv'");
    }
  }

  ~Breaker() {
    if (!holder_.joinable()) return;
    server_.Stop();  // ends the lock holder's session
    holder_.join();
  }

 private:
  PrivateServer& server_;
  Breakage breakage_;
  std::thread holder_;
};

class DatabaseFaults : public testing::TestWithParam<DatabaseFault> {};

// Nothing is printed, the job fails and the output is not touched; the program ends normally
// and reports nothing on standard error (no sanitizer finding, no leak).
TEST_P(DatabaseFaults, FailSilentlyAndLeaveTheOutput) {
  QTV_REQUIRE_CONNECTION(sample, "QTV_TEST_ODBC");
  const DatabaseFault& fault = GetParam();
  Files files;
  ScriptInOldOut(files);
  ProgramRun run{};
  if (fault.breakage == Breakage::kNone) {
    run = RunJob(files, fault.connection(sample));
  } else {
    // A port of its own per row: the rows may run at the same time.
    PrivateServer server(54360 + static_cast<int>(fault.breakage));
    Breaker breaker(server, fault.breakage);
    std::thread program([&] { run = RunJob(files, breaker.Connection()); });
    breaker.Break();
    program.join();
  }
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(files.output), kOldOutput);
}

const DatabaseFault kDatabaseFaults[] = {
    {"UnknownDriver", [](const std::string& c) { return WithKey(c, "Driver", "{No Such Driver}"); }},
    {"UnknownDataSource", [](const std::string&) { return std::string("DSN=qtvdbadmin-no-such-source"); }},
    {"NotAConnectionString", [](const std::string&) { return std::string("not a connection string"); }},
    {"WrongPassword", [](const std::string& c) { return WithKey(c, "Pwd", "wrong"); }},
    {"UnknownUser", [](const std::string& c) { return WithKey(c, "Uid", "nosuchuser"); }},
    {"MissingDatabase", [](const std::string& c) { return WithKey(c, "Database", "nosuchdatabase"); }},
    {"ServerStoppedWhileTheQueryWaits", nullptr, Breakage::kStopServerWhileQueryWaits},
    {"BackendTerminatedWhileTheQueryWaits", nullptr, Breakage::kTerminateWhileQueryWaits},
    {"BackendTerminatedWhileRowsAreRead", nullptr, Breakage::kTerminateWhileRowsAreRead},
};

INSTANTIATE_TEST_SUITE_P(Job, DatabaseFaults, testing::ValuesIn(kDatabaseFaults),
                         [](const testing::TestParamInfo<DatabaseFault>& info) { return info.param.label; });

}  // namespace
