// The /R job in hostile surroundings, end to end through the real program and the PostgreSQL
// fixture: an input that is standard input's own file, changes while it is read or is a FIFO
// that no one writes; signals and a renamed directory while the output is written; a closed
// standard output or pipe; an output with an ACL, and links that another user planted. Each
// row says what the administrator sees and what is left on the disk. A run that must be caught
// in the middle is traced and stopped at a system call once its new file holds bytes, never
// timed; a run that would hang is ended after a minute and fails its row.
#include <fcntl.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kOld = "old output, must survive\n";
const std::string kOpenError = "file open error!!!\n";
const std::string kWriteError = "file write error!!!\n";

// Delete and update procedures, whose rewrite does not depend on the catalogue, `copies` times
// over: 50 copies are 300 KB; 1500 are 9 MB, rewritten to more than two of the output file's
// 4 MiB pieces.
std::string Script(int copies) {
  const std::string one =
      ReadFixture("delete-mixed-crlf.sql") + ReadFixture("update-mixed-crlf.sql");
  std::string script;
  script.reserve(one.size() * static_cast<std::size_t>(copies));
  for (int i = 0; i < copies; ++i) script += one;
  return script;
}

// The files of one run. `kept` lists files that must hold what they held.
struct Files {
  ScratchDir dir;
  std::string input = (dir / "in.sql").string();
  std::string output = (dir / "out.sql").string();
  std::vector<std::pair<fs::path, std::string>> kept;

  void Keep(const fs::path& path, const std::string& bytes) {
    WriteFile(path, bytes);
    kept.emplace_back(path, bytes);
  }

  // Moves the output into a directory of its own, `out`, holding `old` as the old output.
  void OutputInItsOwnDirectory(const std::string& old) {
    fs::create_directory(dir / "out");
    output = (dir / "out" / "out.sql").string();
    WriteFile(output, old);
  }
};

// What a run wrote after its count line; fails the test when it did not start with one.
std::string AfterCountLine(const ProgramRun& run) {
  const std::size_t end = run.out.find('\n');
  const std::string first = run.out.substr(0, end == std::string::npos ? end : end + 1);
  EXPECT_TRUE(first.starts_with("\t") && first.ends_with(" tables have no identity columns\n"))
      << run.out;
  return end == std::string::npos ? "" : run.out.substr(end + 1);
}

// Every file under `directory` that is named as the program names its new files.
std::vector<std::string> LeftOver(const fs::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(directory, error)) {
    if (entry.path().filename().string().starts_with(".qtvdbadmin-"))
      names.push_back(entry.path().string());
  }
  return names;
}

void ExpectNoSecret(const ProgramRun& run, const Files& files) {
  EXPECT_EQ(run.out.find("Pwd="), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find("Pwd="), std::string::npos) << run.err;
  std::error_code error;
  if (fs::is_regular_file(files.output, error)) {
    EXPECT_EQ(ReadFile(files.output).find("Pwd="), std::string::npos) << "in the output";
  }
}

// `command` run by sh, with the program as $0 and `arguments` as $1, $2, ...; no core files.
std::vector<std::string> Sh(const std::string& command, const std::vector<std::string>& arguments,
                            const std::string& program = QTV_PROGRAM) {
  std::vector<std::string> line{"sh", "-c", "ulimit -c 0; " + command, program};
  line.insert(line.end(), arguments.begin(), arguments.end());
  return line;
}

// Waits up to a minute for `pid` to end, and ends it with SIGKILL when it has not. True when it
// ended by itself.
bool EndedWithinAMinute(int pid) {
  const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return true;  // gone already
  pollfd ended{fd, POLLIN, 0};
  const bool byItself = poll(&ended, 1, 60000) == 1;
  if (!byItself) kill(pid, SIGKILL);
  close(fd);
  return byItself;
}

// Runs `command`, with `input` on standard input; a run that hangs fails the test.
ProgramRun RunWatched(const std::vector<std::string>& command, const std::string& input) {
  bool ended = true;
  ProgramRun run =
      RunCommandWhile(command, input, [&](int pid) { ended = EndedWithinAMinute(pid); });
  EXPECT_TRUE(ended) << "the run hung and was killed";
  return run;
}

// /R on the files as the current user or, as root, as nobody running a copy of the program
// that nobody can reach.
ProgramRun RunJob(const Files& files, const std::string& connection, bool unprivileged = false) {
  std::vector<std::string> command{QTV_PROGRAM};
  if (unprivileged && geteuid() == 0) {
    const fs::path copy = files.dir / "qtvdbadmin";
    fs::copy_file(QTV_PROGRAM, copy, fs::copy_options::overwrite_existing);
    command = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
               "--",      copy.string()};
  }
  command.insert(command.end(), {"/R", files.input, files.output});
  return RunWatched(command, connection + "\n");
}

// Traces the program `pid` from before it reads its connection line (the shell that starts it
// waits on the FIFO `lineSource`, which is written only once the trace holds it), stops it at
// the first system call of its main thread after which `ready()` holds, runs `act` there and
// lets it go on untraced. False when the program ended first.
bool StopWhen(int pid, const std::string& lineSource, const std::string& line,
              const std::function<bool()>& ready, const std::function<void()>& act) {
  if (ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACESYSGOOD) != 0 ||
      ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "cannot trace the program: " << std::strerror(errno);
    return false;
  }
  std::thread writer([&] { WriteFile(lineSource, line); });  // waits for the shell to read
  bool stopped = false;
  for (;;) {
    siginfo_t info{};
    // An ending is left for RunCommandWhile to reap.
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WSTOPPED | WNOWAIT | __WALL) != 0 ||
        info.si_code != CLD_TRAPPED)
      break;
    int status = 0;
    waitpid(pid, &status, __WALL);
    const int stop = WSTOPSIG(status);
    const bool systemCall = stop == (SIGTRAP | 0x80);
    if (systemCall && ready()) {
      act();
      ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
      stopped = true;
      break;
    }
    // A signal for the program itself (not a stop of the trace) is passed on.
    const int deliver = !systemCall && (status >> 16) == 0 ? stop : 0;
    ptrace(PTRACE_SYSCALL, pid, nullptr, deliver);
  }
  const int reader = open(lineSource.c_str(), O_RDONLY | O_NONBLOCK);  // frees a waiting writer
  writer.join();
  if (reader >= 0) close(reader);
  return stopped;
}

// /R on the files, stopped by StopWhen once its new file in the output's directory holds bytes;
// `act` runs there. `named` runs it where no file system offers unnamed files.
ProgramRun RunStopped(const Files& files, const std::string& connection, bool named,
                      const std::function<void(int pid)>& act) {
  const std::string lineSource = (files.dir / "connection.fifo").string();
  EXPECT_EQ(mkfifo(lineSource.c_str(), 0600), 0);
  const fs::path directory = fs::path(files.output).parent_path();
  const std::string start = named ? "exec \"$4\" \"$0\"" : "exec \"$0\"";
  bool stopped = false;
  ProgramRun run = RunCommandWhile(
      Sh(start + " /R \"$1\" \"$2\" < \"$3\"",
         {files.input, files.output, lineSource, QTV_WITHOUT_UNNAMED_FILES}),
      "", [&](int pid) {
        stopped = StopWhen(
            pid, lineSource, connection + "\n",
            [&] { return NewOutputFileSize(pid, directory) >= 1; }, [&] { act(pid); });
        EndedWithinAMinute(pid);
      });
  EXPECT_TRUE(stopped) << "the run ended before its new file held bytes: " << run.out << run.err;
  return run;
}

// Every table's rows are named by their label, in the test's name and in its messages.
template <typename Row>
requires requires(const Row& row) { row.label; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

template <typename Row>
std::string LabelOf(const testing::TestParamInfo<Row>& info) {
  return info.param.label;
}

// ---- Refusals: the run fails, says why, and the files stay as they were ----

struct Refusal {
  std::string label;
  std::function<ProgramRun(Files&, const std::string& connection)> run;  // sets up and runs
  std::string message;                              // on standard output, after the count line
  std::function<std::string(const Files&)> reason;  // the line on standard error
  bool needsRoot = false;                           // to act as other users
};

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, SayWhyAndLeaveTheFiles) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const Refusal& row = GetParam();
  if (row.needsRoot && geteuid() != 0) GTEST_SKIP() << "not root: cannot act as other users";
  Files files;
  files.Keep(files.output, kOld);
  const ProgramRun run = row.run(files, connection);
  EXPECT_EQ(AfterCountLine(run), row.message);
  EXPECT_EQ(run.err, "qtvdbadmin: " + row.reason(files) + "\n");
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_EQ(run.signal, 0);
  for (const auto& [path, bytes] : files.kept) {
    const std::string after = ReadFile(path);
    EXPECT_TRUE(after == bytes) << path << " holds " << after.size() << " other bytes";
  }
  EXPECT_EQ(LeftOver(files.dir.path()), std::vector<std::string>{});
  ExpectNoSecret(run, files);
}

// The connection line, then the script, in one file that is standard input.
ProgramRun RunFromStandardInputsFile(Files& files, const std::string& connection,
                                     const std::string& inputName) {
  const fs::path both = files.dir / "both.sql";
  WriteFile(both, connection + "\n" + Script(50));
  files.input = inputName == "<both>" ? both.string() : inputName;
  return RunWatched(
      Sh("exec \"$0\" /R \"$1\" \"$2\" < \"$3\"", {files.input, files.output, both.string()}), "");
}

// A sticky directory that everyone may write, owned by root, as /tmp is.
fs::path SharedDirectory(const Files& files) {
  const fs::path shared = files.dir / "shared";
  fs::create_directory(shared);
  chmod(shared.c_str(), 01777);
  return shared;
}

// A symbolic link `link` to `target`, made by `user`.
void PlantLink(const std::string& user, const fs::path& target, const fs::path& link) {
  const ProgramRun made = RunCommand({"runuser", "-u", user, "--", "ln", "-s", target, link});
  ASSERT_EQ(made.exitCode, 0) << made.err;
}

std::string PlantedLinkReason(const Files& f) {
  return "cannot write '" + f.output +
         "': the symbolic link 'out.sql' belongs to another user in a sticky directory that "
         "everyone may write, and is not followed";
}

const Refusal kRefusals[] = {
    // Read from its start, standard input's file gave the connection line, password and all,
    // as the script's first line.
    {"InputIsDevStdinHoldingTheConnectionLine",
     [](Files& f, const std::string& c) { return RunFromStandardInputsFile(f, c, "/dev/stdin"); },
     kOpenError,
     [](const Files&) {
       return std::string("cannot read '/dev/stdin': it is the file standard input reads");
     }},
    {"InputIsTheFileStandardInputIsRedirectedFrom",
     [](Files& f, const std::string& c) { return RunFromStandardInputsFile(f, c, "<both>"); },
     kOpenError,
     [](const Files& f) {
       return "cannot read '" + f.input + "': it is the file standard input reads";
     }},
    // Overwritten in place (as dd conv=notrunc does) once part of the rewrite is written: the
    // first and the last procedure's error number change, so the output would hold the old
    // first procedure and the new last one.
    {"InputOverwrittenWhileItIsRead",
     [](Files& f, const std::string& c) {
       const std::string script = Script(1500);
       WriteFile(f.input, script);
       return RunStopped(f, c, false, [&](int) {
         const int fd = open(f.input.c_str(), O_WRONLY);
         for (const std::size_t at : {script.find("20598"), script.rfind("20598")})
           EXPECT_EQ(pwrite(fd, "20599", 5, static_cast<off_t>(at)), 5);
         close(fd);
       });
     },
     kOpenError,
     [](const Files& f) {
       return "cannot read '" + f.input + "': the file changed while it was read";
     }},
    // Opened for reading, a FIFO without a writer kept the run waiting for ever.
    {"InputIsAFifoThatNoOneWrites",
     [](Files& f, const std::string& c) {
       EXPECT_EQ(mkfifo(f.input.c_str(), 0600), 0);
       return RunJob(f, c);
     },
     kOpenError,
     [](const Files& f) { return "cannot read '" + f.input + "': not a regular file"; }},
    // Root replaced the root-only file that nobody's link in /tmp pointed at.
    {"RootAndALinkAnotherUserPlantedInASharedDirectory",
     [](Files& f, const std::string& c) {
       const fs::path shared = SharedDirectory(f);
       f.Keep(f.dir / "root-only", "root's own\n");
       chmod((f.dir / "root-only").c_str(), 0600);
       f.output = (shared / "out.sql").string();
       PlantLink("nobody", f.dir / "root-only", f.output);
       WriteFile(f.input, Script(50));
       return RunJob(f, c);
     },
     kWriteError, PlantedLinkReason, true},
    // Written directly, a device or FIFO that such a link names was written to as well (a disk
    // device would have taken the script).
    {"RootAndALinkToADevicePlantedInASharedDirectory",
     [](Files& f, const std::string& c) {
       f.output = (SharedDirectory(f) / "out.sql").string();
       PlantLink("nobody", "/dev/full", f.output);
       WriteFile(f.input, Script(50));
       return RunJob(f, c);
     },
     kWriteError, PlantedLinkReason, true},
    // The same rule binds every caller: daemon's link would replace nobody's own file.
    {"UnprivilegedAndALinkAnotherUserPlantedInASharedDirectory",
     [](Files& f, const std::string& c) {
       const fs::path shared = SharedDirectory(f);
       const fs::path own = f.dir / "nobodys";
       fs::create_directory(own);
       f.Keep(own / "work.sql", "nobody's own\n");
       RunCommand({"chown", "-R", "nobody:nogroup", own});
       f.output = (shared / "out.sql").string();
       PlantLink("daemon", own / "work.sql", f.output);
       WriteFile(f.input, Script(50));
       return RunJob(f, c, true);
     },
     kWriteError, PlantedLinkReason, true},
};

INSTANTIATE_TEST_SUITE_P(Job, Refusals, testing::ValuesIn(kRefusals), LabelOf<Refusal>);

// Links that the rule lets through are followed: the caller's own, the shared directory's
// owner's, and any link in a directory that is not sticky.
TEST(Links, ThatTheRuleAllowsAreFollowed) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  if (geteuid() != 0) GTEST_SKIP() << "not root: the links of other users need root";
  const struct {
    std::string label;
    std::string linkOwner;
    mode_t directoryMode;
    std::string directoryOwner;
  } rows[] = {
      {"TheCallersOwnInASharedDirectory", "root", 01777, "root"},
      {"TheDirectoryOwnersInASharedDirectory", "nobody", 01777, "nobody"},
      {"AnotherUsersInADirectoryThatIsNotSticky", "nobody", 0777, "root"},
  };
  const std::string rewritten = Transform(Script(50));
  for (const auto& row : rows) {
    Files files;
    WriteFile(files.input, Script(50));
    const fs::path shared = files.dir / "shared";
    fs::create_directory(shared);
    RunCommand({"chown", row.directoryOwner, shared});
    chmod(shared.c_str(), row.directoryMode);
    WriteFile(files.dir / "target.sql", kOld);
    files.output = (shared / "out.sql").string();
    PlantLink(row.linkOwner, files.dir / "target.sql", files.output);
    const ProgramRun run = RunJob(files, connection);
    EXPECT_EQ(run.exitCode, 0) << row.label << ": " << run.err;
    EXPECT_TRUE(ReadFile(files.dir / "target.sql") == rewritten) << row.label;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(files.output))) << row.label;
  }
}

// ---- Interruptions: no new file outlives the run ----

struct Interruption {
  std::string label;
  int signal;  // 0: the output's directory is renamed instead
  bool named;  // run where no file system offers unnamed files
};

class Interruptions : public testing::TestWithParam<Interruption> {};

// Signalled while its new file is written, the run ends by that signal and leaves the old
// output and no new file; with its directory renamed meanwhile, it writes the output there.
TEST_P(Interruptions, LeaveNoNewFile) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const Interruption& row = GetParam();
  Files files;
  const std::string script = Script(50);
  WriteFile(files.input, script);
  files.OutputInItsOwnDirectory(kOld);
  const ProgramRun run = RunStopped(files, connection, row.named, [&](int pid) {
    if (row.signal != 0) {
      kill(pid, row.signal);
    } else {
      fs::rename(files.dir / "out", files.dir / "moved");
    }
  });
  if (row.signal != 0) {
    EXPECT_EQ(run.signal, row.signal);
    EXPECT_EQ(ReadFile(files.output), kOld);
  } else {
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(AfterCountLine(run), "");
    EXPECT_TRUE(ReadFile(files.dir / "moved" / "out.sql") == Transform(script));
  }
  EXPECT_EQ(LeftOver(files.dir.path()), std::vector<std::string>{});
}

// Each caught interruption is tried twice: with the new file unnamed until it is whole, and
// with it named from the start, as where no file system offers unnamed files.
std::vector<Interruption> AllInterruptions() {
  const Interruption kCaught[] = {
      {"Sigquit", SIGQUIT, false}, {"Sigusr1", SIGUSR1, false},     {"Sigusr2", SIGUSR2, false},
      {"Sigalrm", SIGALRM, false}, {"Sigvtalrm", SIGVTALRM, false}, {"Sigprof", SIGPROF, false},
      {"Sigxcpu", SIGXCPU, false}, {"Sigpwr", SIGPWR, false},       {"DirectoryRenamed", 0, false},
  };
  std::vector<Interruption> rows(std::begin(kCaught), std::end(kCaught));
  // Unnamed until it is whole, the new file goes with the process even then.
  rows.push_back({"Sigkill", SIGKILL, false});
  for (const Interruption& row : kCaught)
    rows.push_back({row.label + "NamedFile", row.signal, true});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Job, Interruptions, testing::ValuesIn(AllInterruptions()),
                         LabelOf<Interruption>);

// ---- Standard output and pipes that no one reads ----

struct LostReader {
  std::string label;
  std::function<ProgramRun(Files&, const std::string& connection)> run;
  std::string out;                                  // "<count>": the count line and then
  std::function<std::string(const Files&)> reason;  // the line on standard error
};

class LostReaders : public testing::TestWithParam<LostReader> {};

// Text that cannot reach its reader is a failed write: the run ends with -1, not by SIGPIPE
// and not with success.
TEST_P(LostReaders, FailTheRun) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const LostReader& row = GetParam();
  Files files;
  WriteFile(files.input, Script(50));
  const ProgramRun run = row.run(files, connection);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitCode, 255);
  if (row.out.starts_with("<count>")) {
    EXPECT_EQ(AfterCountLine(run), row.out.substr(7));
  } else {
    EXPECT_EQ(run.out, row.out);
  }
  EXPECT_EQ(run.err, "qtvdbadmin: " + row.reason(files) + "\n");
  EXPECT_EQ(LeftOver(files.dir.path()), std::vector<std::string>{});
}

const LostReader kLostReaders[] = {
    {"ClosedStandardOutput",
     [](Files&, const std::string&) { return RunWatched(Sh("exec \"$0\" '/?' >&-", {}), ""); }, "",
     [](const Files&) { return std::string("cannot write to standard output"); }},
    // Standard output is a FIFO's only writer once its only reader has closed it.
    {"StandardOutputIsAPipeThatNoOneReads",
     [](Files& f, const std::string&) {
       return RunWatched(Sh("mkfifo \"$1\" && exec 4<>\"$1\" 5>\"$1\" 4<&- && "
                            "exec \"$0\" '/?' >&5 5>&-",
                            {(f.dir / "pipe").string()}),
                         "");
     },
     "", [](const Files&) { return std::string("cannot write to standard output"); }},
    // The output is a FIFO whose reader opens it and goes at once.
    {"OutputIsAFifoWhoseReaderLeft",
     [](Files& f, const std::string& c) {
       EXPECT_EQ(mkfifo(f.output.c_str(), 0600), 0);
       std::thread reader([&] { close(open(f.output.c_str(), O_RDONLY)); });
       const ProgramRun run = RunJob(f, c);
       close(open(f.output.c_str(), O_WRONLY | O_NONBLOCK));  // frees a reader still waiting
       reader.join();
       return run;
     },
     "<count>" + kWriteError,
     [](const Files& f) { return "cannot write '" + f.output + "': Broken pipe"; }},
};

INSTANTIATE_TEST_SUITE_P(Job, LostReaders, testing::ValuesIn(kLostReaders), LabelOf<LostReader>);

// ---- The replaced output keeps its ACL and extended attributes ----

// The file's ACL, as getfacl prints it without its header.
std::string Acl(const fs::path& path) {
  return RunCommand({"getfacl", "--omit-header", "--absolute-names", path}).out;
}

// The value of the extended attribute `name`; nullopt when the file has none.
std::optional<std::string> Attribute(const fs::path& path, const char* name) {
  char value[256];
  const ssize_t size = lgetxattr(path.c_str(), name, value, sizeof value);
  if (size < 0) return std::nullopt;
  return std::string(value, static_cast<std::size_t>(size));
}

struct Attributes {
  std::string label;
  bool unprivileged;               // the old output is nobody's, who runs the job (as root)
  std::string acl;                 // setfacl -m of the old output; empty: none
  std::vector<const char*> names;  // extended attributes of the old output, valued "kept"
  std::string directoryDefault;    // setfacl -d -m of the output's directory; empty: none
  bool needsRoot = false;          // trusted.* attributes are root's
};

class AttributesKept : public testing::TestWithParam<Attributes> {};

// The new output has the ACL and the extended attributes of the old one, and no others. GNU
// sed -i and cp -a keep them too.
TEST_P(AttributesKept, AsTheOldOutputHadThem) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
  const Attributes& row = GetParam();
  if (row.needsRoot && geteuid() != 0) GTEST_SKIP() << "not root: cannot set trusted attributes";
  Files files;
  const std::string script = Script(50);
  WriteFile(files.input, script);
  files.OutputInItsOwnDirectory(kOld);
  if (row.unprivileged && geteuid() == 0)
    RunCommand({"chown", "-R", "nobody:nogroup", files.dir / "out"});
  if (!row.directoryDefault.empty())
    RunCommand({"setfacl", "-d", "-m", row.directoryDefault, files.dir / "out"});
  if (!row.acl.empty()) {
    ASSERT_EQ(RunCommand({"setfacl", "-m", row.acl, files.output}).exitCode, 0);
  }
  for (const char* name : row.names) {
    if (setxattr(files.output.c_str(), name, "kept", 4, 0) != 0) {
      GTEST_SKIP() << "no extended attribute " << name << " here: " << std::strerror(errno);
    }
  }
  const std::string acl = Acl(files.output);
  const ProgramRun run = RunJob(files, connection, row.unprivileged);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadFile(files.output) == Transform(script));
  EXPECT_EQ(Acl(files.output), acl);
  for (const char* name : row.names) {
    EXPECT_EQ(Attribute(files.output, name), std::optional<std::string>("kept")) << name;
  }
  EXPECT_EQ(Attribute(files.output, "system.posix_acl_access").has_value(), !row.acl.empty());
}

const Attributes kAttributes[] = {
    {"AclAndAttributesOfRootsOutput", false, "u:nobody:rw", {"user.qtv", "trusted.qtv"}, "", true},
    {"AclAndAttributeOfAnUnprivilegedOutput", true, "u:daemon:rw", {"user.qtv"}, ""},
    // The directory's default ACL would give the new file one that the old had not.
    {"NoAclWhereTheOldOutputHadNone", false, "", {}, "u:daemon:rwx"},
};

INSTANTIATE_TEST_SUITE_P(Job, AttributesKept, testing::ValuesIn(kAttributes), LabelOf<Attributes>);

}  // namespace
