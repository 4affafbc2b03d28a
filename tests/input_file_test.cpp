// The input file: read whole, refused when it is not a regular file, and never a crash when it
// becomes shorter while it is used.
#include "io/input_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support.h"

namespace fs = std::filesystem;

namespace {

TEST(InputFile, ReadsTheWholeFile) {
  const ScratchDir dir;
  for (const std::string& bytes : {std::string(), std::string("create procedure x\r\ngo\r\n"),
                                   std::string(300000, 'a') + std::string("\0z", 2)}) {
    WriteFile(dir / "in.sql", bytes);
    InputFile file;
    ASSERT_TRUE(ReadInputFile((dir / "in.sql").string(), file).ok());
    EXPECT_EQ(file.Text(), bytes);
    EXPECT_FALSE(InputFileChanged(file));
  }
}

TEST(InputFile, RefusesWhatIsNoRegularFile) {
  const ScratchDir dir;
  InputFile file;
  const std::string missing = (dir / "missing.sql").string();
  const Status notThere = ReadInputFile(missing, file);
  EXPECT_EQ(notThere.code(), Status::Code::kReadError);
  EXPECT_TRUE(notThere.message().starts_with("cannot read '" + missing + "': "))
      << notThere.message();
  const Status directory = ReadInputFile(dir.path().string(), file);
  EXPECT_EQ(directory.code(), Status::Code::kReadError);
  EXPECT_TRUE(directory.message().starts_with("cannot read '" + dir.path().string() + "': "))
      << directory.message();
}

// A file cut short while it is held: its bytes are either all there as read, or, where the
// file's pages are used in place, the lost ones read as zeros and the input says it changed.
TEST(InputFile, AFileCutShortMeanwhileReadsAsZerosAndSaysSo) {
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
  if (!InputFileChanged(file)) {
    EXPECT_EQ(seen, bytes);
    return;
  }
  EXPECT_EQ(seen.substr(0, kKept), bytes.substr(0, kKept));
  EXPECT_EQ(seen.find_first_not_of('\0', kKept), std::string::npos);
}

}  // namespace
