// The input file on POSIX systems: opened without waiting, refused when standard input reads
// it, told changed by a write that keeps its size, and no crash when it is cut short while it
// is mapped.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "io/input_file.h"
#include "tests/support.h"

namespace fs = std::filesystem;

namespace {

// Refused at once, also what would keep an open waiting (a FIFO no one writes).
TEST(InputFile, RefusesAtOnceWhatIsNoRegularFile) {
  const ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string reason;
  } refused[] = {
      {(dir / "fifo").string(), "not a regular file"},
      {"/dev/null", "not a regular file"},
  };
  for (const auto& r : refused) {
    InputFile file;
    const Status status = ReadInputFile(r.path, file);
    EXPECT_EQ(status.code(), Status::Code::kReadError) << r.path;
    EXPECT_EQ(status.message(), "cannot read '" + r.path + "': " + r.reason);
  }
}

// Standard input's own file holds the connection line before the script.
TEST(InputFile, RefusesTheFileStandardInputReads) {
  const ScratchDir dir;
  const std::string path = (dir / "in.sql").string();
  WriteFile(path, "Driver=x;Pwd=secret\ncreate procedure x\n");
  const int saved = dup(STDIN_FILENO);
  const int redirected = open(path.c_str(), O_RDONLY);
  ASSERT_GE(redirected, 0);
  dup2(redirected, STDIN_FILENO);
  close(redirected);
  InputFile file;
  const Status status = ReadInputFile(path, file);
  dup2(saved, STDIN_FILENO);
  close(saved);
  EXPECT_EQ(status.message(), "cannot read '" + path + "': it is the file standard input reads");
}

// A write over the file's own bytes (dd conv=notrunc) changes neither its size nor its
// identity, only its times; the mapped text may show it, spliced into the old bytes.
TEST(InputFile, ASameSizeOverwriteIsTold) {
  const ScratchDir dir;
  const fs::path path = dir / "in.sql";
  WriteFile(path, std::string(100000, 'a'));
  InputFile file;
  ASSERT_TRUE(ReadInputFile(path.string(), file).ok());
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_EQ(pwrite(fd, "b", 1, 50000), 1);
  close(fd);
  EXPECT_EQ(CheckInputFileUnchanged(file).code(), Status::Code::kReadError);
}

// A file cut short while it is held is no crash: its bytes are either all there as read, or,
// where the file's pages are used in place, the lost ones read as zeros. Either way the check
// tells the change.
TEST(InputFile, AFileCutShortMeanwhileReadsAsZerosAndIsTold) {
  const ScratchDir dir;
  const fs::path path = dir / "in.sql";
  std::string bytes;
  for (int i = 0; bytes.size() < 200000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  WriteFile(path, bytes);
  InputFile file;
  ASSERT_TRUE(ReadInputFile(path.string(), file).ok());
  constexpr std::size_t kKept = 1000;
  std::error_code error;
  fs::resize_file(path, kKept, error);
  if (error) GTEST_SKIP() << "the file cannot be cut while it is held here: " << error.message();
  const std::string seen(file.Text());  // reads every byte
  EXPECT_EQ(seen.substr(0, kKept), bytes.substr(0, kKept));
  EXPECT_TRUE(seen == bytes || seen.find_first_not_of('\0', kKept) == std::string::npos);
  EXPECT_EQ(CheckInputFileUnchanged(file).code(), Status::Code::kReadError);
}

}  // namespace
