#include "tests/support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

const std::string kBannerText =
    "VOK QTV Database Administration Utility version 1.0\n"
    " Copyright (c) VOK. All rights reserved.\n"
    "\n";

const std::string kUsageText =
    "/C\t Create Vok NT groups\n"
    "\t\tvok_db_admin_security\n"
    "\t\tvok_db_qtv_server\n"
    "\t\tvok_db_admin_enterprise\n"
    "\t\tvok_db_admin_handheld\n"
    "\t\tvok_db_admin_sr_helpdesk\n"
    "\t\tvok_db_admin_jr_helpdesk\n"
    "\t\tvok_db_admin_audit_security\n"
    "\t\tvok_db_admin_audit_enterprise\n"
    "\t\tvok_db_admin_audit_handheld\n"
    "\t\tvok_db_admin_audit_sr_helpdesk\n"
    "\t\tvok_db_admin_audit_jr_helpdesk\n"
    "/D\t Delete VOK NT groups\n"
    "/R input_file output_file\t Process replication scripts\n";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFixture(const std::string& name) {
  return ReadFile(std::filesystem::path(QTV_TEST_DATA) / name);
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qtvtest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string Transform(std::string script, const NoIdentityTableSet& tables) {
  LowerCaseScript(script);
  std::ostringstream out;
  ScanScript(script, tables, out);
  return out.str();
}

namespace {

// Points file descriptor 1 somewhere else until it goes.
class StdoutRedirect {
 public:
  explicit StdoutRedirect(int fd) : saved_(dup(1)) {
    std::fflush(stdout);
    if (saved_ < 0 || dup2(fd, 1) < 0) throw std::system_error(errno, std::generic_category(), "dup2");
  }
  ~StdoutRedirect() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

 private:
  int saved_;
};

}  // namespace

std::string CaptureStdout(const std::function<void()>& job) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) throw std::system_error(errno, std::generic_category(), "tmpfile");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  {
    StdoutRedirect redirect(fileno(file));
    job();
  }
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
  return text;
}

namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fd[0] >= 0) close(fd[0]);
    fd[0] = -1;
  }
  void CloseWrite() {
    if (fd[1] >= 0) close(fd[1]);
    fd[1] = -1;
  }
};

}  // namespace

ProgramRun RunCommand(const std::vector<std::string>& command, const std::string& input) {
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::system_error(spawned, std::generic_category(), command[0]);
  in.CloseRead();
  out.CloseWrite();
  err.CloseWrite();

  ProgramRun run{-1, "", ""};
  std::size_t written = 0;
  if (input.empty()) in.CloseWrite();
  fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
  for (;;) {
    pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {in.fd[1], POLLOUT, 0}};
    const int watched = in.fd[1] >= 0 ? 3 : 2;
    if (fds[0].fd < 0 && fds[1].fd < 0) break;
    if (poll(fds, watched, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
      } else if (i == 0) {
        out.CloseRead();
      } else {
        err.CloseRead();
      }
    }
    if (watched == 3 && fds[2].revents != 0) {
      const ssize_t sent = write(in.fd[1], input.data() + written, input.size() - written);
      if (sent > 0) written += static_cast<std::size_t>(sent);
      if (sent < 0 || written == input.size()) in.CloseWrite();
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& input) {
  std::vector<std::string> command{QTV_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunCommand(command, input);
}

std::string TestConnectionString(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}
