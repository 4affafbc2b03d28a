// The input file: read whole, refused when it is not a regular file, and told changed when it
// is not as it was when it was opened. The POSIX cases are in input_file-posix_test.cpp.
#include "io/input_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
    EXPECT_TRUE(CheckInputFileUnchanged(file).ok());
  }
}

TEST(InputFile, RefusesWhatIsNoRegularFile) {
  const ScratchDir dir;
  const std::string missing = (dir / "missing.sql").string();
  for (const std::string& path : {missing, dir.path().string()}) {
    InputFile file;
    const Status status = ReadInputFile(path, file);
    EXPECT_EQ(status.code(), Status::Code::kReadError) << path;
    EXPECT_TRUE(status.message().starts_with("cannot read '" + path + "': ")) << status.message();
  }
}

struct Change {
  std::string label;
  std::function<void(const fs::path&)> make;
};

// Any change between the open and the check is told, whether the bytes, the size, the times or
// the file behind the path changed.
TEST(InputFile, AChangeAfterTheOpenIsTold) {
  const std::string bytes(100000, 'a');
  const Change changes[] = {
      {"Appended", [](const fs::path& p) { fs::resize_file(p, 100001); }},
      {"Truncated", [](const fs::path& p) { fs::resize_file(p, 10); }},
      {"ReplacedByRename",
       [&bytes](const fs::path& p) {
         WriteFile(p.string() + ".new", bytes);
         fs::rename(p.string() + ".new", p);
       }},
      {"Removed", [](const fs::path& p) { fs::remove(p); }},
      {"ModificationTimeSet",
       [](const fs::path& p) {
         fs::last_write_time(p, fs::last_write_time(p) - std::chrono::hours(1000));
       }},
  };
  for (const Change& change : changes) {
    const ScratchDir dir;
    const fs::path path = dir / "in.sql";
    WriteFile(path, bytes);
    InputFile file;
    ASSERT_TRUE(ReadInputFile(path.string(), file).ok());
    change.make(path);
    EXPECT_EQ(CheckInputFileUnchanged(file).message(),
              "cannot read '" + path.string() + "': the file changed while it was read")
        << change.label;
  }
}

}  // namespace
