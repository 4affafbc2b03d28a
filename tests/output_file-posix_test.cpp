// The output file on POSIX systems, in the process: what a renamed directory does to it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/output_file.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

// The new file is made, named and renamed relative to its directory: a directory renamed while
// the output is written takes the output along, and no other file is left in it.
TEST(OutputFile, ARenamedDirectoryTakesTheOutputAlong) {
  const ScratchDir dir;
  fs::create_directory(dir / "before");
  WriteFile(dir / "before" / "out.sql", "old\n");
  OutputFilePtr file;
  ASSERT_TRUE(OpenOutputFile((dir / "before" / "out.sql").string(), file).ok());
  OutputFileStream(*file) << "new\n";
  fs::rename(dir / "before", dir / "after");
  ASSERT_TRUE(CommitOutputFile(*file).ok());
  EXPECT_EQ(ReadFile(dir / "after" / "out.sql"), "new\n");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir / "after"))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"out.sql"});
  EXPECT_FALSE(fs::exists(dir / "before"));
}

}  // namespace
