// The output file on its own: what the path holds after a commit, after none, which paths it
// refuses and how a failed write is reported. The end-to-end cases (full disks, signals, links,
// modes, FIFOs, standard output) are in faults_test.cpp and surroundings_test.cpp, the POSIX
// ones in output_file-posix_test.cpp.
#include "io/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kOld = "old content\n";
const std::string kNew = "new content, in two pieces\n";

// The names in `directory`, sorted.
std::vector<std::string> Names(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

OutputFilePtr Open(const fs::path& path) {
  OutputFilePtr file;
  const Status status = OpenOutputFile(path.string(), file);
  EXPECT_TRUE(status.ok()) << status.message();
  return file;
}

struct Case {
  std::string label;
  bool oldFileExists;
  bool commit;
  std::optional<std::string> after;  // nullopt: the path must not exist
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.label; }

class Writing : public testing::TestWithParam<Case> {};

TEST_P(Writing, TheOutputIsOldOrWhole) {
  const Case& c = GetParam();
  const ScratchDir dir;
  const fs::path path = dir / "out.sql";
  if (c.oldFileExists) WriteFile(path, kOld);
  {
    const OutputFilePtr file = Open(path);
    ASSERT_TRUE(file);
    OutputFileStream(*file) << kNew.substr(0, 4) << std::flush;
    // Until the commit the path holds what it held.
    if (c.oldFileExists) {
      EXPECT_EQ(ReadFile(path), kOld);
    } else {
      EXPECT_FALSE(fs::exists(path));
    }
    OutputFileStream(*file) << kNew.substr(4);
    if (c.commit) {
      const Status committed = CommitOutputFile(*file);
      EXPECT_TRUE(committed.ok()) << committed.message();
    }
  }
  if (c.after) {
    EXPECT_EQ(ReadFile(path), *c.after);
  } else {
    EXPECT_FALSE(fs::exists(path));
  }
  // No other file is left, committed or not.
  EXPECT_EQ(Names(dir.path()),
            c.after ? std::vector<std::string>{"out.sql"} : std::vector<std::string>{});
}

const Case kCases[] = {
    {"CommitReplacesAnOldFile", true, true, kNew},
    {"CommitCreatesANewFile", false, true, kNew},
    {"NoCommitLeavesTheOldFile", true, false, kOld},
    {"NoCommitCreatesNothing", false, false, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(OutputFile, Writing, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.label; });

// Paths that cannot take an output are refused at once, with the path and a reason, creating
// nothing.
TEST(OutputFile, RefusesPathsThatCannotTakeIt) {
  const ScratchDir dir;
  fs::create_directory(dir / "directory");
  const fs::path refused[] = {dir / "directory", dir / "missing" / "out.sql"};
  for (const fs::path& path : refused) {
    OutputFilePtr file;
    const Status status = OpenOutputFile(path.string(), file);
    EXPECT_FALSE(file) << path;
    EXPECT_EQ(status.code(), Status::Code::kWriteError) << path;
    EXPECT_TRUE(status.message().starts_with("cannot write '" + path.string() + "': "))
        << status.message();
  }
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"directory"});
  EXPECT_EQ(Names(dir / "directory"), std::vector<std::string>{});
}

// The stream is written in large aligned pieces, past the system's cache where it can be, and
// the rest through it; pieces of any size, across several of those pieces, make the file byte
// for byte.
TEST(OutputFile, PiecesOfAnySizeMakeTheWholeFile) {
  const ScratchDir dir;
  const fs::path path = dir / "out.sql";
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < (std::size_t{9} << 20) + 777; ++i)
    bytes += static_cast<char>('a' + i % 23);
  const OutputFilePtr file = Open(path);
  ASSERT_TRUE(file);
  const std::size_t sizes[] = {1, 4095, 4096, 4097, (std::size_t{1} << 20) + 3, 3 << 20};
  for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
    const std::size_t size = std::min(sizes[i % std::size(sizes)], bytes.size() - at);
    OutputFileStream(*file).write(bytes.data() + at, static_cast<std::streamsize>(size));
    at += size;
  }
  ASSERT_TRUE(CommitOutputFile(*file).ok());
  EXPECT_TRUE(ReadFile(path) == bytes);
}

// The signal cleanup knows one new file; a second output waits for the first to go.
TEST(OutputFile, OneAtATime) {
  const ScratchDir dir;
  OutputFilePtr first = Open(dir / "first.sql");
  ASSERT_TRUE(first);
  OutputFilePtr second;
  const std::string path = (dir / "second.sql").string();
  EXPECT_EQ(OpenOutputFile(path, second).message(),
            "cannot write '" + path + "': another output file is open");
  EXPECT_FALSE(second);
  first.reset();
  EXPECT_TRUE(Open(path));
}

// A refused write fails the stream, at once or a piece later, and the commit says why: whether
// the refusal came while the stream was written or only when its rest was written at the
// commit.
TEST(OutputFile, AFailedWriteFailsTheStreamAndTheCommitSaysWhy) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here to fail a write";
  for (const std::size_t size : {std::size_t{10}, std::size_t{20} << 20}) {
    const OutputFilePtr file = Open("/dev/full");
    ASSERT_TRUE(file);
    std::ostream& out = OutputFileStream(*file);
    out << std::string(size, 'x');
    EXPECT_EQ(out.fail(), size > 10) << size;
    const Status committed = CommitOutputFile(*file);
    EXPECT_EQ(committed.code(), Status::Code::kWriteError) << size;
    EXPECT_EQ(committed.message(), "cannot write '/dev/full': No space left on device") << size;
  }
}

}  // namespace
