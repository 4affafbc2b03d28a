// The output file on its own: what the path holds after a commit, after none, and which paths
// it refuses. The end-to-end cases (full disks, signals, links, modes, FIFOs, standard output)
// are in faults_test.cpp.
#include "io/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
    std::string error;
    const OutputFilePtr file = OpenOutputFile(path.string(), error);
    ASSERT_TRUE(file) << error;
    ASSERT_TRUE(WriteOutputFile(*file, std::string_view(kNew).substr(0, 4)));
    // Until the commit the path holds what it held.
    if (c.oldFileExists) {
      EXPECT_EQ(ReadFile(path), kOld);
    } else {
      EXPECT_FALSE(fs::exists(path));
    }
    // A started write is waited for by the commit, and by the file going without one.
    ASSERT_TRUE(StartOutputFileWrite(*file, std::string_view(kNew).substr(4)));
    if (c.commit) {
      EXPECT_TRUE(CommitOutputFile(*file)) << OutputFileError(*file);
      EXPECT_EQ(OutputFileError(*file), "");
    }
  }
  if (c.after) {
    EXPECT_EQ(ReadFile(path), *c.after);
  } else {
    EXPECT_FALSE(fs::exists(path));
  }
  // No temporary file is left, committed or not.
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

// Paths that cannot take an output are refused at once, with a reason, creating nothing.
TEST(OutputFile, RefusesPathsThatCannotTakeIt) {
  const ScratchDir dir;
  fs::create_directory(dir / "directory");
  const struct {
    std::string label;
    fs::path path;
  } refused[] = {
      {"a directory", dir / "directory"},
      {"in a missing directory", dir / "missing" / "out.sql"},
  };
  for (const auto& r : refused) {
    std::string error;
    EXPECT_FALSE(OpenOutputFile(r.path.string(), error)) << r.label;
    EXPECT_NE(error, "") << r.label;
  }
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"directory"});
  EXPECT_EQ(Names(dir / "directory"), std::vector<std::string>{});
}

// Aligned whole blocks may go past the system's cache and the rest through it; mixed in any
// order, at aligned offsets and not, they make the file byte for byte.
TEST(OutputFile, AlignedBlocksAndOtherBytesMakeTheWholeFile) {
  const ScratchDir dir;
  const fs::path path = dir / "out.sql";
  constexpr std::size_t kBlock = kOutputFileAlignment;
  std::vector<char> storage(6 * kBlock);
  char* const aligned =
      storage.data() +
      (kBlock - reinterpret_cast<std::uintptr_t>(storage.data()) % kBlock) % kBlock;
  for (std::size_t i = 0; i < 5 * kBlock; ++i) aligned[i] = static_cast<char>('a' + i % 23);
  const std::string_view bytes(aligned, 5 * kBlock);
  const std::string_view pieces[] = {
      bytes.substr(0, 2 * kBlock),             // whole blocks at offset 0
      bytes.substr(2 * kBlock, kBlock + 100),  // a block and a tail
      bytes.substr(3 * kBlock + 100, 7),       // at an offset within a block
      bytes.substr(3 * kBlock + 107, kBlock),  // a block's length, not aligned
      bytes.substr(4 * kBlock + 107),          // the rest
  };
  std::string error;
  const OutputFilePtr file = OpenOutputFile(path.string(), error);
  ASSERT_TRUE(file) << error;
  for (std::string_view piece : pieces)
    ASSERT_TRUE(StartOutputFileWrite(*file, piece)) << OutputFileError(*file);
  ASSERT_TRUE(CommitOutputFile(*file)) << OutputFileError(*file);
  EXPECT_EQ(ReadFile(path), bytes);
}

// The signal cleanup knows one temporary file; a second output waits for the first to go.
TEST(OutputFile, OneAtATime) {
  const ScratchDir dir;
  std::string error;
  OutputFilePtr first = OpenOutputFile((dir / "first.sql").string(), error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(OpenOutputFile((dir / "second.sql").string(), error));
  EXPECT_EQ(error, "another output file is open");
  first.reset();
  EXPECT_TRUE(OpenOutputFile((dir / "second.sql").string(), error)) << error;
}

// A failed write fails the file for good: nothing after it is written and there is no commit.
TEST(OutputFile, AFailedWriteCannotBeCommitted) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here to fail a write";
  std::string error;
  const OutputFilePtr file = OpenOutputFile("/dev/full", error);
  ASSERT_TRUE(file) << error;
  EXPECT_FALSE(WriteOutputFile(*file, kNew));
  EXPECT_NE(OutputFileError(*file), "");
  EXPECT_FALSE(WriteOutputFile(*file, kNew));
  EXPECT_FALSE(StartOutputFileWrite(*file, kNew));
  EXPECT_FALSE(CommitOutputFile(*file));
}

// A started write that is refused shows at the next call on the file, or at the commit.
TEST(OutputFile, AFailedStartedWriteShowsLater) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here to fail a write";
  for (const bool commitNext : {false, true}) {
    std::string error;
    const OutputFilePtr file = OpenOutputFile("/dev/full", error);
    ASSERT_TRUE(file) << error;
    StartOutputFileWrite(*file, kNew);  // may fail at once where writes are not started apart
    if (!commitNext) {
      EXPECT_FALSE(StartOutputFileWrite(*file, kNew));
    }
    EXPECT_FALSE(CommitOutputFile(*file));
    EXPECT_NE(OutputFileError(*file), "");
  }
}

}  // namespace
