// Faults of the /R job, end to end through the real program: inputs and outputs that cannot
// be used, databases that cannot be reached or go away while they are read. Each row says
// what the administrator sees, the exit code and what the output path holds afterwards.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kOldOutput = "old output, must survive\n";
const std::string kNoProcedures =
    " input file has no replication procedures or not in ascii coding\n";
const std::string kOpenError = "file open error!!!\n";
const std::string kWriteError = "file write error!!!\n";
const std::string kException = "sdt exception : cannot do script transfarmation";
const std::string kHoldsNoProcedure = "'<in>' holds no \"create procedure \"";
const std::string kEndsWithCreate = "the script ends with \"create procedure\"";

// Update and delete procedures, whose rewrite does not depend on the catalogue, many enough
// that any output written before the input is read whole would show. 1000 pairs are 290 KB.
std::string SampleScript(int pairs = 1000, const std::string& tablePrefix = "Table") {
  std::string script = "-- Replication procedures\r\nGO\r\n";
  script.reserve(static_cast<std::size_t>(pairs) * 300);
  for (int i = 0; i < pairs; ++i) {
    const std::string table = tablePrefix + std::to_string(i);
    script += "create procedure [dbo].[sp_MSupd_dbo" + table +
              "]\r\n\t@c1 int, @pkc1 int\r\nas\r\nbegin\r\n"
              "update [dbo].[" +
              table +
              "] set [Value] = @c1 where [ID] = @pkc1\r\n\r\n\r\nend\r\nGO\r\n"
              "create procedure [dbo].[sp_MSdel_dbo" +
              table +
              "]\r\n\t@pkc1 int\r\nas\r\nbegin\r\n"
              "delete [dbo].[" +
              table +
              "] where [ID] = @pkc1\r\nif @@rowcount = 0\r\n"
              "    exec sp_MSreplraiserror 20598\r\nend\r\nGO\r\n";
  }
  return script;
}

// The sample script cut off right after a last create keyword: the run ends with the
// out-of-range error once every procedure before it has been written.
std::string MalformedScript() { return SampleScript() + "create procedure "; }

// The names in `directory` that the program gives its temporary files.
std::vector<std::string> TemporaryFiles(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".qtvdbadmin-")) names.push_back(name);
  }
  return names;
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
  // Printed after the count line, and the line on standard error without "qtvdbadmin: "; "<in>"
  // and "<out>" stand for the input and the output path.
  std::string message;
  std::string err;
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
  fs::permissions(files.dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
  return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", copy.string()};
}

// /R on the files, choosing the sample catalogue at the prompt.
ProgramRun RunJob(const Files& files, const std::string& connection, bool unprivileged = false) {
  std::vector<std::string> command =
      unprivileged ? UnprivilegedProgram(files) : std::vector<std::string>{QTV_PROGRAM};
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

// `text` with each `placeholder` as `value`.
std::string Substitute(std::string text, std::string_view placeholder, std::string_view value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
  return text;
}

std::string Substitute(const std::string& text, const Files& files) {
  return Substitute(Substitute(text, "<in>", files.input), "<out>", files.output);
}

class FileFaults : public testing::TestWithParam<FileFault> {};

TEST_P(FileFaults, ReportAndLeaveTheOutputAsExpected) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const FileFault& fault = GetParam();
  const std::string countLine = CountLine(connection);
  EXPECT_TRUE(countLine.starts_with("\t") &&
              countLine.ends_with(" tables have no identity columns\n"))
      << countLine;
  Files files;
  fault.setUp(files);
  const ProgramRun run = RunJob(files, connection, fault.unprivileged);
  EXPECT_EQ(run.out, countLine + Substitute(fault.message, files));
  EXPECT_EQ(run.err, ErrorLine(Substitute(fault.err, files)));
  EXPECT_EQ(run.exitCode, fault.exitCode);
  const std::optional<std::string> expected = fault.outputAfter(files);
  if (!expected) {
    EXPECT_FALSE(fs::is_regular_file(files.output));
  } else if (files.output != "/dev/full") {
    EXPECT_TRUE(ReadFile(files.output) == *expected) << "output differs";
  }
  EXPECT_EQ(TemporaryFiles(files.dir.path()), std::vector<std::string>{});
}

const FileFault kFileFaults[] = {
    // Output faults: the script is read, the output cannot take it.
    {"OutputToAFullDevice",
     [](Files& f) {
       ScriptIn(f);
       f.output = "/dev/full";
     },
     kWriteError, "cannot write '/dev/full': No space left on device", 255, Absent},
    {"OutputInAMissingDirectory",
     [](Files& f) {
       ScriptIn(f);
       f.output = (f.dir / "missing" / "out.sql").string();
     },
     kWriteError, "cannot write '<out>': No such file or directory", 255, Absent},
    {"OutputIsADirectory",
     [](Files& f) {
       ScriptIn(f);
       fs::create_directory(f.output);
     },
     kWriteError, "cannot write '<out>': Is a directory", 255, Absent},
    {"OutputInADirectoryWithoutWritePermission",
     [](Files& f) {
       ScriptIn(f);
       fs::create_directory(f.dir / "locked");
       fs::permissions(f.dir / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                             fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
       f.output = (f.dir / "locked" / "out.sql").string();
     },
     kWriteError, "cannot write '<out>': Permission denied", 255, Absent, true},
    {"OutputFileWithoutWritePermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.output,
                       fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
     },
     kWriteError, "cannot write '<out>': Permission denied", 255, OldOutput, true},
    // Input faults: nothing is written.
    {"InputMissing", [](Files& f) { WriteFile(f.output, kOldOutput); }, kOpenError,
     "cannot read '<in>': No such file or directory", 255, OldOutput},
    {"InputIsADirectory", [](Files& f) { fs::create_directory(f.input); }, kOpenError,
     "cannot read '<in>': Is a directory", 255, Absent},
    {"InputWithoutReadPermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.input, fs::perms::none);
     },
     kOpenError, "cannot read '<in>': Permission denied", 255, OldOutput, true},
    {"InputOfZeroBytes", [](Files& f) { InputBytes(f, ""); }, "input file <in>" + kNoProcedures,
     kHoldsNoProcedure, 255, OldOutput},
    {"InputOfZeroBytesNoOutputCreated", [](Files& f) { WriteFile(f.input, ""); },
     "input file <in>" + kNoProcedures, kHoldsNoProcedure, 255, Absent},
    {"InputUtf16LittleEndianWithMark",
     [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, true)); },
     "input file <in>" + kNoProcedures, kHoldsNoProcedure, 255, OldOutput},
    {"InputUtf16LittleEndianWithoutMark",
     [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, false)); },
     "input file <in>" + kNoProcedures, kHoldsNoProcedure, 255, OldOutput},
    {"InputUtf16BigEndianWithMark",
     [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, true)); },
     "input file <in>" + kNoProcedures, kHoldsNoProcedure, 255, OldOutput},
    {"InputUtf16BigEndianWithoutMark",
     [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, false)); },
     "input file <in>" + kNoProcedures, kHoldsNoProcedure, 255, OldOutput},
    // The input is read whole before the output is opened, so one file can be both.
    {"OutputIsTheInput",
     [](Files& f) {
       ScriptIn(f);
       f.output = f.input;
     },
     "", "", 0, Rewritten},
    {"OutputReplacesAnOldFile", ScriptInOldOut, "", "", 0, Rewritten},
    // A malformed script ends the run after some procedures were rewritten: the output is
    // left as it was, also when it is the input.
    {"MalformedScriptOutputIsTheInput",
     [](Files& f) {
       WriteFile(f.input, MalformedScript());
       f.output = f.input;
     },
     kException, kEndsWithCreate, 252,
     [](const Files&) -> std::optional<std::string> { return MalformedScript(); }},
    {"MalformedScriptOldOutputKept", [](Files& f) { InputBytes(f, MalformedScript()); }, kException,
     kEndsWithCreate, 252, OldOutput},
    {"MalformedScriptNoOutputCreated", [](Files& f) { WriteFile(f.input, MalformedScript()); },
     kException, kEndsWithCreate, 252, Absent},
};

INSTANTIATE_TEST_SUITE_P(Job, FileFaults, testing::ValuesIn(kFileFaults),
                         [](const testing::TestParamInfo<FileFault>& info) {
                           return info.param.label;
                         });

// `connection` with `key` set to `value`, appended when it is not there.
std::string WithKey(std::string connection, const std::string& key, const std::string& value) {
  const std::size_t at = (";" + connection).find(";" + key + "=");
  if (at == std::string::npos) return connection + ";" + key + "=" + value;
  const std::size_t from = at + key.size() + 1;
  const std::size_t to = connection.find(';', from);
  return connection.replace(from, to == std::string::npos ? std::string::npos : to - from, value);
}

// The value of `key` in `connection`; empty when it is not there.
std::string ValueOf(const std::string& connection, const std::string& key) {
  const std::size_t at = (";" + connection).find(";" + key + "=");
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size() + 1;
  return connection.substr(from, connection.find(';', from) - from);
}

// A TCP socket bound to a port of 127.0.0.1 that the system chose, put in `port`; -1 on failure.
int LoopbackSocket(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ADD_FAILURE() << "no loopback socket: " << std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// A port of 127.0.0.1 that nothing uses now, for a server of a test's own.
int FreePort() {
  int port = 0;
  const int fd = LoopbackSocket(port);
  if (fd >= 0) close(fd);
  return port;
}

// A listener on 127.0.0.1 that never answers: the system completes each connection, and nobody
// reads or writes on it.
class StalledListener {
 public:
  StalledListener() : fd_(LoopbackSocket(port_)) {
    if (fd_ >= 0 && listen(fd_, 16) != 0) ADD_FAILURE() << "listen: " << std::strerror(errno);
  }
  ~StalledListener() {
    if (fd_ >= 0) close(fd_);
  }
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  int port() const { return port_; }

 private:
  int port_ = 0;
  int fd_;
};

// A PostgreSQL cluster of its own with the sample catalogue, for faults that stop or break the
// server, so that other tests running meanwhile keep theirs.
class PrivateServer {
 public:
  PrivateServer() : port_(std::to_string(FreePort())) {
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
  const std::string& port() const { return port_; }

  // The server's main process, as its pid file names it.
  pid_t PostmasterPid() const {
    return std::stoi(ReadFile("/var/tmp/qtvdbadmin-pg-" + port_ + "/data/postmaster.pid"));
  }

  // Runs `sql` as the cluster's superuser; returns what psql printed, unaligned.
  std::string Superuser(const std::string& database, const std::string& sql) const {
    std::vector<std::string> command;
    if (geteuid() == 0) command = {"runuser", "-u", "postgres", "--"};
    command.insert(command.end(), {"psql", "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-h",
                                   "/var/tmp/qtvdbadmin-pg-" + port_, "-p", port_, "-U", "postgres",
                                   "-d", database, "-c", sql});
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
    const fs::path script =
        fs::path(QTV_TEST_DATA).parent_path().parent_path() / "scripts" / "pg-fixture";
    return RunCommand({"env", "QTV_PG_PORT=" + port_, script.string(), verb});
  }

  std::string port_;
  std::string connection_;
  bool stopped_ = false;
};

// How a database fault is made.
enum class Breakage {
  kNone,                       // the connection string alone fails
  kStalledListener,            // the port's listener takes the connection and never answers
  kServerStopped,              // the server is stopped (SIGSTOP) before the program connects
  kStopServerWhileQueryWaits,  // the query waits for a lock; the server is stopped
  kTerminateWhileQueryWaits,   // the query waits for a lock; its backend is terminated
  kTerminateWhileRowsAreRead,  // the backend terminates itself at the third row
};

struct DatabaseFault {
  std::string label;
  std::function<std::string(const std::string&)> connection;  // from the sample catalogue's
  // The line on standard error without "qtvdbadmin: "; "<port>" stands for the server's port.
  std::string err;
  Breakage breakage = Breakage::kNone;
  std::string out = "";  // what standard output shows
};

void PrintTo(const DatabaseFault& fault, std::ostream* out) { *out << fault.label; }

// Makes the program's query wait until `server` is broken, or breaks it on the third row.
class Breaker {
 public:
  Breaker(PrivateServer& server, Breakage breakage) : server_(server), breakage_(breakage) {
    if (breakage_ == Breakage::kServerStopped) {
      EXPECT_EQ(kill(server_.PostmasterPid(), SIGSTOP), 0);
      return;
    }
    if (breakage_ == Breakage::kTerminateWhileRowsAreRead) {
      // Fetched one row at a time, through a lower() that ends its own backend at 'regions',
      // the third name of the sample catalogue.
      server_.Superuser("postgres", "CREATE DATABASE qtvkill TEMPLATE qtvtest");
      server_.Superuser(
          "qtvkill",
          "CREATE FUNCTION public.lower(t text) RETURNS text LANGUAGE plpgsql VOLATILE AS $$ "
          "BEGIN IF t = 'regions' THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF; "
          "RETURN pg_catalog.lower(t); END $$; "
          "ALTER ROLE qtv IN DATABASE qtvkill SET search_path = public, pg_catalog");
      return;
    }
    holder_ = std::thread([this] {
      server_.Superuser(
          "qtvtest", "BEGIN; LOCK TABLE objectdefn IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep(120)");
    });
    EXPECT_TRUE(
        server_.WaitFor("qtvtest",
                        "SELECT count(*) FROM pg_locks WHERE granted AND "
                        "mode = 'AccessExclusiveLock' AND relation = 'objectdefn'::regclass"));
  }

  std::string Connection() const {
    if (breakage_ != Breakage::kTerminateWhileRowsAreRead) return server_.connection();
    return WithKey(
        WithKey(WithKey(server_.connection(), "Database", "qtvkill"), "UseDeclareFetch", "1"),
        "Fetch", "1");
  }

  // Called while the program runs.
  void Break() {
    if (!holder_.joinable()) return;
    EXPECT_TRUE(server_.WaitFor("qtvtest",
                                "SELECT count(*) FROM pg_stat_activity WHERE usename = 'qtv' AND "
                                "wait_event_type = 'Lock'"));
    if (breakage_ == Breakage::kStopServerWhileQueryWaits) {
      server_.Stop();
    } else {
      server_.Superuser(
          "postgres",
          "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE usename = 'qtv'");
    }
  }

  ~Breaker() {
    if (breakage_ == Breakage::kServerStopped) kill(server_.PostmasterPid(), SIGCONT);
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

// The job fails and says why in exactly one line on standard error (so no sanitizer finding, no
// leak), without the password; nothing more is printed, the output is not touched, and the
// program ends normally. A server that does not answer is given up after 15 seconds.
TEST_P(DatabaseFaults, SayWhyAndLeaveTheOutput) {
  QTV_REQUIRE_CONNECTION(sample, "QTV_TEST_ODBC");
  const DatabaseFault& fault = GetParam();
  Files files;
  ScriptInOldOut(files);
  ProgramRun run{};
  std::chrono::steady_clock::duration took{};
  // /R on the files as RunJob runs it, ended by SIGKILL if it has not ended after a minute.
  const auto runJob = [&](const std::string& connection) {
    const auto started = std::chrono::steady_clock::now();
    run = RunCommand({"timeout", "-s", "KILL", "60", QTV_PROGRAM, "/R", files.input, files.output},
                     connection + "\n");
    took = std::chrono::steady_clock::now() - started;
  };
  std::string connection = fault.connection ? fault.connection(sample) : sample;
  std::string port = ValueOf(connection, "Port");
  if (fault.breakage == Breakage::kNone) {
    runJob(connection);
  } else if (fault.breakage == Breakage::kStalledListener) {
    const StalledListener listener;
    port = std::to_string(listener.port());
    connection = WithKey(sample, "Port", port);
    runJob(connection);
  } else {
    PrivateServer server;
    port = server.port();
    Breaker breaker(server, fault.breakage);
    connection = breaker.Connection();
    std::thread program([&] { runJob(connection); });
    breaker.Break();
    program.join();
  }
  EXPECT_EQ(run.out, fault.out);
  EXPECT_EQ(run.err, ErrorLine(Substitute(fault.err, "<port>", port)));
  for (const std::string& password : {ValueOf(sample, "Pwd"), ValueOf(connection, "Pwd")}) {
    if (!password.empty()) {
      EXPECT_EQ(run.err.find(password), std::string::npos) << password;
    }
  }
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(ReadFile(files.output), kOldOutput);
  if (fault.breakage == Breakage::kStalledListener || fault.breakage == Breakage::kServerStopped) {
    EXPECT_GE(took, std::chrono::seconds(14)) << "gave up before its 15 seconds";
  }
}

const std::string kRefused =
    "cannot connect: connection to server at \"127.0.0.1\", port <port> failed: ";
const std::string kGaveUp = kRefused + "timeout expired (08001)";
const std::string kTerminated =
    "FATAL: terminating connection due to administrator command; The connection has been lost "
    "(57P01)";

const DatabaseFault kDatabaseFaults[] = {
    {"UnknownDriver", [](const std::string& c) { return WithKey(c, "Driver", "{No Such Driver}"); },
     "cannot connect: [unixODBC][Driver Manager]Can't open lib 'No Such Driver' : file not found "
     "(01000)"},
    // The driver manager repeats the driver's name, here the password too.
    {"DriverMessageRepeatingThePassword",
     [](const std::string& c) {
       return WithKey(WithKey(c, "Driver", "{hunter2x}"), "Pwd", "hunter2x");
     },
     "cannot connect: [unixODBC][Driver Manager]Can't open lib '***' : file not found (01000)"},
    {"UnknownDataSource",
     [](const std::string&) { return std::string("DSN=qtvdbadmin-no-such-source"); },
     "cannot connect: [unixODBC][Driver Manager]Data source name not found and no default driver "
     "specified (IM002)"},
    {"NotAConnectionString",
     [](const std::string&) { return std::string("not a connection string"); },
     "cannot connect: [unixODBC][Driver Manager]Data source name not found and no default driver "
     "specified (IM002)"},
    {"NoServerOnThePort",
     [](const std::string&) { return TestConnectionString("QTV_TEST_ODBC_UNREACHABLE"); },
     kRefused + "Connection refused Is the server running on that host and accepting TCP/IP "
                "connections? (08001)"},
    {"WrongPassword", [](const std::string& c) { return WithKey(c, "Pwd", "wrong"); },
     kRefused + "FATAL:  password authentication failed for user \"qtv\" (08001)"},
    {"UnknownUser", [](const std::string& c) { return WithKey(c, "Uid", "nosuchuser"); },
     kRefused + "FATAL:  password authentication failed for user \"nosuchuser\" (08001)"},
    {"MissingDatabase",
     [](const std::string& c) { return WithKey(c, "Database", "nosuchdatabase"); },
     kRefused + "FATAL:  database \"nosuchdatabase\" does not exist (08001)"},
    {"NoObjectdefn",
     [](const std::string&) { return TestConnectionString("QTV_TEST_ODBC_NO_OBJECTDEFN"); },
     "cannot run the query: ERROR: relation \"objectdefn\" does not exist; Error while executing "
     "the query (42P01)"},
    {"NoTableWithoutIdentityColumn",
     [](const std::string&) { return TestConnectionString("QTV_TEST_ODBC_NO_ROWS"); },
     "no table without an identity column was found; the script is not rewritten", Breakage::kNone,
     "\t0 tables have no identity columns\n"},
    {"ListenerThatNeverAnswers", nullptr, kGaveUp, Breakage::kStalledListener},
    {"ServerStopped", nullptr, kGaveUp, Breakage::kServerStopped},
    {"ServerStoppedWhileTheQueryWaits", nullptr,
     "cannot run the query: server closed the connection unexpectedly This probably means the "
     "server terminated abnormally before or while processing the request. ; The connection has "
     "been lost (57P01)",
     Breakage::kStopServerWhileQueryWaits},
    {"BackendTerminatedWhileTheQueryWaits", nullptr, "cannot run the query: " + kTerminated,
     Breakage::kTerminateWhileQueryWaits},
    {"BackendTerminatedWhileRowsAreRead", nullptr, "cannot read the query's rows: " + kTerminated,
     Breakage::kTerminateWhileRowsAreRead},
};

INSTANTIATE_TEST_SUITE_P(Job, DatabaseFaults, testing::ValuesIn(kDatabaseFaults),
                         [](const testing::TestParamInfo<DatabaseFault>& info) {
                           return info.param.label;
                         });

// ---- The output takes the place of the old file only when it is whole ----

// Whether the child `pid`, not yet reaped, has ended.
bool Ended(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// Sends `signal` to `pid` once its new file in `directory` holds at least `bytes` bytes.
// False when the process ended first.
bool SignalWhenWritten(int pid, const fs::path& directory, std::intmax_t bytes, int signal) {
  while (!Ended(pid)) {
    if (NewOutputFileSize(pid, directory) >= bytes) return kill(pid, signal) == 0;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

// A script of tens of MiB and its rewrite, made once.
struct LargeScript {
  std::string input;
  std::string rewritten;
};

const LargeScript& Large() {
  static const LargeScript large = [] {
    LargeScript script{SampleScript(70000), ""};
    script.rewritten = Transform(script.input);
    return script;
  }();
  return large;
}

// `command` run by sh with the program's path as $0 and `arguments` as $1, $2, ...
std::vector<std::string> Shell(const std::string& command,
                               const std::vector<std::string>& arguments) {
  std::vector<std::string> line{"sh", "-c", command, QTV_PROGRAM};
  line.insert(line.end(), arguments.begin(), arguments.end());
  return line;
}

// Empty when a small file system can be mounted for a test; otherwise the reason.
std::string SmallFileSystemUnavailable() {
  if (geteuid() != 0) return "not root: no private mount namespace to mount a small file system in";
  const ProgramRun probe = RunCommand({"unshare", "--mount", "--propagation", "private", "true"});
  if (probe.exitCode != 0) return "unshare --mount failed: " + probe.err;
  return "";
}

// In a private mount namespace: mounts a 64 KiB tmpfs on $1, copies $2's files onto it, fills
// it up to 8 KiB of free space, runs the program on $4 and $5 in it and copies the tmpfs's
// files, hidden ones too, to $6; exits with the program's status.
constexpr char kSmallDiskRun[] =
    "mount -t tmpfs -o size=64k qtvtest \"$1\" && cp -a \"$2/.\" \"$1/\" || exit 99\n"
    "head -c 1048576 /dev/zero > \"$1/filler\" 2> /dev/null; truncate -s -8192 \"$1/filler\" || "
    "exit 99\n"
    "\"$3\" /R \"$4\" \"$5\"; status=$?\n"
    "cp -a \"$1/.\" \"$6/\" && exit $status";

enum class Limit { kSmallFileSystem, kFileSizeLimit };
enum class OutputKind { kTheInput, kAnOldFile, kANewFile };

struct WriteFailure {
  std::string label;
  Limit limit;
  OutputKind output;
};

void PrintTo(const WriteFailure& failure, std::ostream* out) { *out << failure.label; }

class WriteFailures : public testing::TestWithParam<WriteFailure> {};

// The rewritten script does not fit: the run says so, fails, and leaves the input and the
// output as they were, with no temporary file.
TEST_P(WriteFailures, LeaveInputAndOutputAsTheyWere) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const WriteFailure& failure = GetParam();
  if (failure.limit == Limit::kSmallFileSystem) {
    const std::string unavailable = SmallFileSystemUnavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
  }
  const std::string countLine = CountLine(connection);
  const ScratchDir dir;
  const fs::path stage = dir / "stage", disk = dir / "disk", result = dir / "result";
  for (const fs::path& path : {stage, disk, result}) fs::create_directory(path);
  const std::string script = SampleScript(60);  // 17 KB, rewritten 33 KB
  WriteFile(stage / "in.sql", script);
  if (failure.output == OutputKind::kAnOldFile) WriteFile(stage / "out.sql", kOldOutput);
  const std::string outputName = failure.output == OutputKind::kTheInput ? "in.sql" : "out.sql";
  ProgramRun run{};
  if (failure.limit == Limit::kSmallFileSystem) {
    run = RunCommand({"unshare", "--mount", "--propagation", "private", "sh", "-c", kSmallDiskRun,
                      "sh", disk.string(), stage.string(), QTV_PROGRAM, (disk / "in.sql").string(),
                      (disk / outputName).string(), result.string()},
                     connection + "\n");
  } else {
    fs::copy(stage, result);
    // 40 blocks of 512 bytes: the input is read, the rewritten script cannot be written.
    run = RunCommand(Shell("ulimit -f 40 && exec \"$0\" /R \"$1\" \"$2\"",
                           {(result / "in.sql").string(), (result / outputName).string()}),
                     connection + "\n");
  }
  EXPECT_EQ(run.out, countLine + kWriteError);
  const fs::path output = (failure.limit == Limit::kSmallFileSystem ? disk : result) / outputName;
  EXPECT_EQ(run.err, ErrorLine("cannot write '" + output.string() + "': " +
                               (failure.limit == Limit::kSmallFileSystem ? "No space left on device"
                                                                         : "File too large")));
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.signal, 0);
  EXPECT_TRUE(ReadFile(result / "in.sql") == script) << "the input changed";
  if (failure.output == OutputKind::kAnOldFile) {
    EXPECT_EQ(ReadFile(result / "out.sql"), kOldOutput);
  } else if (failure.output == OutputKind::kANewFile) {
    EXPECT_FALSE(fs::exists(result / "out.sql"));
  }
  EXPECT_EQ(TemporaryFiles(result), std::vector<std::string>{});
}

const WriteFailure kWriteFailures[] = {
    {"FullDiskOutputIsTheInput", Limit::kSmallFileSystem, OutputKind::kTheInput},
    {"FullDiskOldOutput", Limit::kSmallFileSystem, OutputKind::kAnOldFile},
    {"FullDiskNewOutput", Limit::kSmallFileSystem, OutputKind::kANewFile},
    {"FileSizeLimitOutputIsTheInput", Limit::kFileSizeLimit, OutputKind::kTheInput},
    {"FileSizeLimitOldOutput", Limit::kFileSizeLimit, OutputKind::kAnOldFile},
    {"FileSizeLimitNewOutput", Limit::kFileSizeLimit, OutputKind::kANewFile},
};

INSTANTIATE_TEST_SUITE_P(Job, WriteFailures, testing::ValuesIn(kWriteFailures),
                         [](const testing::TestParamInfo<WriteFailure>& info) {
                           return info.param.label;
                         });

struct Interruption {
  std::string label;
  int signal;
  bool outputIsInput = false;
  bool ignored = false;  // the program starts with the signal ignored, as under nohup
};

void PrintTo(const Interruption& interruption, std::ostream* out) { *out << interruption.label; }

class Interruptions : public testing::TestWithParam<Interruption> {};

// A signal while a large output is being written ends the run; the output path holds its old
// bytes and no temporary file is left. An ignored signal stays ignored.
TEST_P(Interruptions, LeaveTheOldOutputAndNoTemporaryFile) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const Interruption& interruption = GetParam();
  const LargeScript& large = Large();
  Files files;
  WriteFile(files.input, large.input);
  if (interruption.outputIsInput)
    files.output = files.input;
  else
    WriteFile(files.output, kOldOutput);
  const std::string& old = interruption.outputIsInput ? large.input : kOldOutput;
  const std::string trap =
      interruption.ignored ? "trap '' " + std::to_string(interruption.signal) + "; " : "";
  bool sent = false;
  const ProgramRun run = RunCommandWhile(
      Shell(trap + "exec \"$0\" /R \"$1\" \"$2\"", {files.input, files.output}), connection + "\n",
      [&](int pid) { sent = SignalWhenWritten(pid, files.dir.path(), 1, interruption.signal); });
  ASSERT_TRUE(sent) << "the run ended before its output was written";
  const std::string after = ReadFile(files.output);
  if (interruption.ignored) {
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(after == large.rewritten) << "output of " << after.size() << " bytes";
  } else {
    EXPECT_EQ(run.signal, interruption.signal);
    // Old, or whole where the signal came just after the rename; never a part.
    EXPECT_TRUE(after == old || after == large.rewritten)
        << "a partial output of " << after.size() << " bytes";
  }
  EXPECT_EQ(TemporaryFiles(files.dir.path()), std::vector<std::string>{});
}

const Interruption kInterruptions[] = {
    {"Sigterm", SIGTERM},
    {"Sigint", SIGINT},
    {"Sighup", SIGHUP},
    {"SigtermOutputIsTheInput", SIGTERM, true},
    {"SighupIgnoredAsUnderNohup", SIGHUP, false, true},
};

INSTANTIATE_TEST_SUITE_P(Job, Interruptions, testing::ValuesIn(kInterruptions),
                         [](const testing::TestParamInfo<Interruption>& info) {
                           return info.param.label;
                         });

// SIGKILL cannot be caught: killed at random points of a large write, a run leaves the old
// output or the whole new one, and at most a temporary file named as the program's.
TEST(Interruptions, SigkillAnywhereLeavesTheOldOrTheWholeOutput) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const LargeScript& large = Large();
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_real_distribution<double> point(0.0, 0.95);
  for (int attempt = 0; attempt < 6; ++attempt) {
    Files files;
    WriteFile(files.input, large.input);
    WriteFile(files.output, kOldOutput);
    const auto bytes =
        static_cast<std::intmax_t>(point(random) * static_cast<double>(large.rewritten.size()));
    bool sent = false;
    const ProgramRun run = RunCommandWhile(
        {QTV_PROGRAM, "/R", files.input, files.output}, connection + "\n",
        [&](int pid) { sent = SignalWhenWritten(pid, files.dir.path(), bytes, SIGKILL); });
    EXPECT_TRUE(sent) << "killed at byte " << bytes << ": the run ended first";
    EXPECT_EQ(run.signal, SIGKILL);
    const std::string after = ReadFile(files.output);
    EXPECT_TRUE(after == kOldOutput || after == large.rewritten)
        << "killed at byte " << bytes << ": a partial output of " << after.size() << " bytes";
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(files.dir.path()))
      names.push_back(entry.path().filename());
    for (const std::string& name : names) {
      EXPECT_TRUE(name == "in.sql" || name == "out.sql" || name.starts_with(".qtvdbadmin-"))
          << name;
    }
  }
}

// Two runs that write one output at once both succeed, and the output is one of the two whole
// results, never a mix.
TEST(ConcurrentRuns, LeaveOneOfTheTwoWholeResults) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const std::string first = SampleScript(30000, "First"), second = SampleScript(30000, "Second");
  const std::string firstRewritten = Transform(first), secondRewritten = Transform(second);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ScratchDir dir;
    const std::string output = (dir / "out.sql").string();
    WriteFile(dir / "first.sql", first);
    WriteFile(dir / "second.sql", second);
    ProgramRun runs[2];
    std::thread other([&] {
      runs[1] = RunProgram({"/R", (dir / "second.sql").string(), output}, connection + "\n");
    });
    runs[0] = RunProgram({"/R", (dir / "first.sql").string(), output}, connection + "\n");
    other.join();
    for (const ProgramRun& run : runs) {
      EXPECT_EQ(run.exitCode, 0);
      EXPECT_EQ(run.err, "");
    }
    const std::string after = ReadFile(output);
    EXPECT_TRUE(after == firstRewritten || after == secondRewritten)
        << "a mixed output of " << after.size() << " bytes";
    EXPECT_EQ(TemporaryFiles(dir.path()), std::vector<std::string>{});
  }
}

mode_t Mode(const fs::path& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

struct OutputAttributes {
  std::string label;
  std::function<void(Files&)> setUp;                            // the input holds the sample script
  std::function<void(const Files&, const std::string&)> check;  // with the rewritten script
  std::string umask = "022";
  bool needsRoot = false;
};

void PrintTo(const OutputAttributes& row, std::ostream* out) { *out << row.label; }

class OutputKept : public testing::TestWithParam<OutputAttributes> {};

// The new output keeps what the old file had: its mode, its owner, its links.
TEST_P(OutputKept, AsTheOldFileWas) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const OutputAttributes& row = GetParam();
  if (row.needsRoot && geteuid() != 0) GTEST_SKIP() << "not root: cannot give a file another owner";
  Files files;
  ScriptIn(files);
  row.setUp(files);
  const ProgramRun run = RunCommand(
      Shell("umask " + row.umask + " && exec \"$0\" /R \"$1\" \"$2\"", {files.input, files.output}),
      connection + "\n");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.err, "");
  row.check(files, Transform(SampleScript()));
  for (const auto& entry : fs::recursive_directory_iterator(files.dir.path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".qtvdbadmin-")) << entry.path();
  }
}

void ExpectModeAndScript(const fs::path& path, mode_t mode, const std::string& rewritten) {
  EXPECT_EQ(Mode(path), mode) << path;
  EXPECT_TRUE(ReadFile(path) == rewritten) << path;
}

void ExpectLink(const fs::path& link, const fs::path& target) {
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link))) << link;
  EXPECT_EQ(fs::read_symlink(link), target) << link;
}

const OutputAttributes kOutputAttributes[] = {
    {"ModeOfTheOldFile",
     [](Files& f) {
       WriteFile(f.output, kOldOutput);
       chmod(f.output.c_str(), 0640);
     },
     [](const Files& f, const std::string& s) { ExpectModeAndScript(f.output, 0640, s); }},
    {"UnusualModeOfTheOldFile",
     [](Files& f) {
       WriteFile(f.output, kOldOutput);
       chmod(f.output.c_str(), 0604);
     },
     [](const Files& f, const std::string& s) { ExpectModeAndScript(f.output, 0604, s); }, "077"},
    {"OwnerAndGroupOfTheOldFile",
     [](Files& f) {
       WriteFile(f.output, kOldOutput);
       ASSERT_EQ(RunCommand({"chown", "nobody:nogroup", f.output}).exitCode, 0);
     },
     [](const Files& f, const std::string& s) {
       ExpectModeAndScript(f.output, 0644, s);
       EXPECT_EQ(RunCommand({"stat", "-c", "%U:%G", f.output}).out, "nobody:nogroup\n");
     },
     "077", true},
    {"NewFileFollowsTheUmask", [](Files&) {},
     [](const Files& f, const std::string& s) { ExpectModeAndScript(f.output, 0640, s); }, "027"},
    {"LinkStaysAndItsFileIsReplaced",
     [](Files& f) {
       WriteFile(f.dir / "real.sql", kOldOutput);
       fs::create_symlink("real.sql", f.output);
     },
     [](const Files& f, const std::string& s) {
       ExpectLink(f.output, "real.sql");
       ExpectModeAndScript(f.dir / "real.sql", 0644, s);
     }},
    {"ChainOfRelativeLinksIntoOtherDirectories",
     [](Files& f) {
       fs::create_directories(f.dir / "a" / "b");
       fs::create_directory(f.dir / "c");
       WriteFile(f.dir / "c" / "real.sql", kOldOutput);
       fs::create_symlink("a/b/second.sql", f.output);
       fs::create_symlink("../../c/real.sql", f.dir / "a" / "b" / "second.sql");
     },
     [](const Files& f, const std::string& s) {
       ExpectLink(f.output, "a/b/second.sql");
       ExpectLink(f.dir / "a" / "b" / "second.sql", "../../c/real.sql");
       ExpectModeAndScript(f.dir / "c" / "real.sql", 0644, s);
     }},
    {"DanglingLinkGetsTheFileItNames", [](Files& f) { fs::create_symlink("made.sql", f.output); },
     [](const Files& f, const std::string& s) {
       ExpectLink(f.output, "made.sql");
       ExpectModeAndScript(f.dir / "made.sql", 0644, s);
     }},
    {"LinkToTheInput", [](Files& f) { fs::create_symlink("in.sql", f.output); },
     [](const Files& f, const std::string& s) {
       ExpectLink(f.output, "in.sql");
       ExpectModeAndScript(f.input, 0644, s);
     }},
};

INSTANTIATE_TEST_SUITE_P(Job, OutputKept, testing::ValuesIn(kOutputAttributes),
                         [](const testing::TestParamInfo<OutputAttributes>& info) {
                           return info.param.label;
                         });

struct UnreplaceableOutput {
  std::string label;
  // Runs the job; returns what the reader of standard output saw.
  std::function<ProgramRun(Files&, const std::string& connection)> run;
  bool scriptOnStandardOutput;  // the script follows the count line there
};

void PrintTo(const UnreplaceableOutput& row, std::ostream* out) { *out << row.label; }

class UnreplaceableOutputs : public testing::TestWithParam<UnreplaceableOutput> {};

// Outputs that are not regular files are written directly; an output that is standard output's
// own file gets the script through standard output, after the count line.
TEST_P(UnreplaceableOutputs, AreWrittenDirectlyInOrder) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const UnreplaceableOutput& row = GetParam();
  Files files;
  ScriptIn(files);
  const ProgramRun run = row.run(files, connection);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  const std::string expected =
      CountLine(connection) + (row.scriptOnStandardOutput ? Transform(SampleScript()) : "");
  EXPECT_TRUE(run.out == expected)
      << "standard output of " << run.out.size() << " bytes, expected " << expected.size();
  EXPECT_EQ(TemporaryFiles(files.dir.path()), std::vector<std::string>{});
}

ProgramRun RunIntoFile(Files& files, const std::string& connection, const std::string& command) {
  const std::string captured = (files.dir / "stdout.txt").string();
  ProgramRun run = RunCommand(Shell(command, {files.input, captured}), connection + "\n");
  run.out += ReadFile(captured);
  return run;
}

const UnreplaceableOutput kUnreplaceableOutputs[] = {
    {"Fifo",
     [](Files& f, const std::string& connection) {
       EXPECT_EQ(mkfifo(f.output.c_str(), 0600), 0);
       std::string read;
       std::thread reader([&] { read = ReadFile(f.output); });
       const ProgramRun run = RunJob(f, connection);
       reader.join();
       EXPECT_TRUE(read == Transform(SampleScript()))
           << "the FIFO gave " << read.size() << " bytes";
       EXPECT_TRUE(fs::is_fifo(f.output));
       return run;
     },
     false},
    {"NullDevice",
     [](Files& f, const std::string& connection) {
       f.output = "/dev/null";
       return RunJob(f, connection);
     },
     false},
    {"DevStdoutOnAPipe",
     [](Files& f, const std::string& connection) {
       f.output = "/dev/stdout";
       return RunJob(f, connection);
     },
     true},
    {"DevStdoutRedirectedToAFile",
     [](Files& f, const std::string& connection) {
       return RunIntoFile(f, connection, "exec \"$0\" /R \"$1\" /dev/stdout > \"$2\"");
     },
     true},
    {"TheFileStandardOutputIsRedirectedTo",
     [](Files& f, const std::string& connection) {
       return RunIntoFile(f, connection, "exec \"$0\" /R \"$1\" \"$2\" > \"$2\"");
     },
     true},
};

INSTANTIATE_TEST_SUITE_P(Job, UnreplaceableOutputs, testing::ValuesIn(kUnreplaceableOutputs),
                         [](const testing::TestParamInfo<UnreplaceableOutput>& info) {
                           return info.param.label;
                         });

// ---- The connection line ----

struct ConnectionLine {
  std::string label;
  std::function<std::string(const std::string& connection)> line;  // without its line end
  std::string err;  // the refusal on standard error without "qtvdbadmin: "; empty: it connects
};

void PrintTo(const ConnectionLine& row, std::ostream* out) { *out << row.label; }

// `connection` with an attribute appended whose value makes the whole line `size` bytes long.
std::string PaddedTo(const std::string& connection, std::size_t size) {
  const std::string head = connection + ";ApplicationName=";
  return head + std::string(size - head.size(), 'x');
}

class ConnectionLines : public testing::TestWithParam<ConnectionLine> {};

// Lines that would crash a driver or the driver manager are refused before either sees them,
// as a choice that cannot connect: nothing printed on standard output, the reason on standard
// error, exit 255, no signal, output untouched.
TEST_P(ConnectionLines, AreRefusedBeforeAnyDriverSeesThem) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const ConnectionLine& row = GetParam();
  Files files;
  ScriptInOldOut(files);
  const ProgramRun run = RunJob(files, row.line(connection));
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.err, ErrorLine(row.err));
  if (row.err.empty()) {
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(ReadFile(files.output) == Transform(SampleScript()));
  } else {
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(files.output), kOldOutput);
  }
}

const std::string kAnswerTooLong = "cannot connect: the answer is longer than 4096 bytes";
const std::string kDriverTooLong = "cannot connect: the DRIVER value is longer than 255 bytes";

const ConnectionLine kConnectionLines[] = {
    {"FortyThousandCharacters", [](const std::string& c) { return PaddedTo(c, 40000); },
     kAnswerTooLong},
    {"OneByteOverTheBound", [](const std::string& c) { return PaddedTo(c, 4097); }, kAnswerTooLong},
    {"AtTheBoundConnects", [](const std::string& c) { return PaddedTo(c, 4096); }, ""},
    {"DriverValueOf1001Bytes",
     [](const std::string& c) { return WithKey(c, "Driver", std::string(1001, 'd')); },
     kDriverTooLong},
    {"BracedDriverValueOf1001Bytes",
     [](const std::string& c) { return WithKey(c, "Driver", "{" + std::string(1001, 'd') + "}"); },
     kDriverTooLong},
    {"DriverKeywordInAnyCaseWithBlanks",
     [](const std::string& c) { return " dRiVeR = " + std::string(300, 'd') + ";" + c; },
     kDriverTooLong},
    {"DsnValueOf256Bytes", [](const std::string&) { return "DSN=" + std::string(256, 's'); },
     "cannot connect: the DSN value is longer than 255 bytes"},
    {"FiledsnValueOf256Bytes",
     [](const std::string& c) { return "FILEDSN=" + std::string(256, 'f') + ";" + c; },
     "cannot connect: the FILEDSN value is longer than 255 bytes"},
};

INSTANTIATE_TEST_SUITE_P(Job, ConnectionLines, testing::ValuesIn(kConnectionLines),
                         [](const testing::TestParamInfo<ConnectionLine>& info) {
                           return info.param.label;
                         });

// A line without end, from /dev/zero, is refused after its first 4097 bytes.
TEST(ConnectionLine, WithoutEndIsRefused) {
  Files files;
  ScriptInOldOut(files);
  const ProgramRun run =
      RunCommand(Shell("exec \"$0\" /R \"$1\" \"$2\" < /dev/zero", {files.input, files.output}));
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, ErrorLine(kAnswerTooLong));
  EXPECT_EQ(ReadFile(files.output), kOldOutput);
}

// The program takes its line and nothing after it, from a pipe as from a file, so that a shell
// script reading standard input after it finds the next line there.
TEST(ConnectionLine, LeavesTheRestOfStandardInput) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const std::string countLine = CountLine(connection);
  Files files;
  ScriptIn(files);
  const std::string input = connection + "\nthe next line\n";
  const ProgramRun piped =
      RunCommand(Shell("\"$0\" /R \"$1\" \"$2\"; cat", {files.input, files.output}), input);
  EXPECT_EQ(piped.out, countLine + "the next line\n");
  const std::string file = (files.dir / "stdin.txt").string();
  WriteFile(file, input);
  const ProgramRun fromFile = RunCommand(
      Shell("{ \"$0\" /R \"$1\" \"$2\"; cat; } < \"$3\"", {files.input, files.output, file}));
  EXPECT_EQ(fromFile.out, countLine + "the next line\n");
}

// ---- Standard output ----

// Runs the program with `arguments` and a standard output whose reader is gone, SIGPIPE ignored.
int RunIntoClosedPipe(const std::vector<std::string>& arguments) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  close(fds[0]);
  std::vector<const char*> argv{QTV_PROGRAM};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    std::signal(SIGPIPE, SIG_IGN);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text that cannot reach standard output makes the run fail, saying so on standard error; the
// output file is unaffected.
TEST(StandardOutput, ThatCannotBeWrittenFailsTheRun) {
  const std::string failed = ErrorLine("cannot write to standard output");
  const ProgramRun full = RunCommand(Shell("exec \"$0\" '/?' > /dev/full", {}));
  EXPECT_EQ(full.exitCode, 255);
  EXPECT_EQ(full.err, failed);
  EXPECT_EQ(RunIntoClosedPipe({"/?"}), 255);
  const ProgramRun null = RunCommand(Shell("exec \"$0\" '/?' > /dev/null", {}));
  EXPECT_EQ(null.exitCode, 0);
  EXPECT_EQ(null.err, "");
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  Files files;
  ScriptInOldOut(files);
  const ProgramRun run =
      RunCommand(Shell("exec \"$0\" /R \"$1\" \"$2\" > /dev/full", {files.input, files.output}),
                 connection + "\n");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.err, failed);
  EXPECT_TRUE(ReadFile(files.output) == Transform(SampleScript()));
}

}  // namespace
