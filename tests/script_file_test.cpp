// The file layer: what TransformScript reads and writes, and the outcomes it reports.
#include "rewrite/script_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support.h"

namespace {

TEST(TransformScript, EmptyArgumentsFailBeforeTouchingFiles) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_msins_dboa]\n");
  const std::string in = (dir / "in.sql").string(), out = (dir / "out.sql").string();
  EXPECT_EQ(TransformScript("", {"a"}, out), TransformOutcome::kNotRun);
  EXPECT_EQ(TransformScript(in, {"a"}, ""), TransformOutcome::kNotRun);
  EXPECT_EQ(TransformScript(in, {}, out), TransformOutcome::kNotRun);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
}

// The output is gathered into large writes; a failing device must still be reported.
TEST(TransformScript, ReportsAFailedWrite) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchDir dir;
  WriteFile(dir / "in.sql", "text\ncreate procedure [sp_MSsel_x]\ngo\n");
  EXPECT_EQ(TransformScript((dir / "in.sql").string(), {"a"}, "/dev/full"),
            TransformOutcome::kCannotWrite);
}

TEST(TransformScript, OutputMayBeTheInput) {
  ScratchDir dir;
  const std::string path = (dir / "script.sql").string();
  WriteFile(path, "Text\r\n\r\nMore\r\ncreate procedure [sp_MSsel_x]\r\nGO\r\n");
  EXPECT_EQ(TransformScript(path, {"a"}, path), TransformOutcome::kDone);
  EXPECT_EQ(ReadFile(path), "text\nmore\r\ncreate procedure [sp_mssel_x]\r\ngo\r\n");
}

}  // namespace
