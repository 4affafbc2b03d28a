// The file layer: what TransformScript reads and writes, and the failures it reports.
#include "rewrite/script_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support.h"

namespace {

Status Transform(const std::string& in, const NoIdentityTableSet& tables, const std::string& out) {
  SkippedProcedures skipped;
  return TransformScript(in, tables, out, skipped);
}

TEST(TransformScript, EmptyArgumentsFailBeforeTouchingFiles) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_msins_dboa]\n");
  const std::string in = (dir / "in.sql").string(), out = (dir / "out.sql").string();
  const struct {
    Status status;
    std::string message;
  } cases[] = {
      {Transform("", {"a"}, out), "the input file name is empty"},
      {Transform(in, {"a"}, ""), "the output file name is empty"},
      {Transform(in, {}, out),
       "no table without an identity column was found; the script is not rewritten"},
  };
  for (const auto& [status, message] : cases) {
    EXPECT_EQ(status.code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(status.message(), message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
}

TEST(TransformScript, SaysWhichInputIsUnusable) {
  ScratchDir dir;
  const std::string out = (dir / "out.sql").string();
  const std::string missing = (dir / "missing.sql").string();
  const Status unreadable = Transform(missing, {"a"}, out);
  EXPECT_EQ(unreadable.code(), Status::Code::kReadError);
  EXPECT_NE(unreadable.message().find("'" + missing + "'"), std::string::npos)
      << unreadable.message();

  const std::string plain = (dir / "plain.sql").string();
  WriteFile(plain, "select 1\ngo\n");
  const Status noProcedures = Transform(plain, {"a"}, out);
  EXPECT_EQ(noProcedures.code(), Status::Code::kNotFound);
  EXPECT_EQ(noProcedures.message(), "'" + plain + "' holds no \"create procedure \"");
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(TransformScript, MalformedScriptLeavesTheOutputAsItWas) {
  ScratchDir dir;
  WriteFile(dir / "in.sql", "create procedure [sp_MSsel_x]\ngo\ncreate procedure ");
  WriteFile(dir / "out.sql", "old");
  const Status status = Transform((dir / "in.sql").string(), {"a"}, (dir / "out.sql").string());
  EXPECT_EQ(status.code(), Status::Code::kMalformed);
  EXPECT_EQ(ReadFile(dir / "out.sql"), "old");
}

// The output is gathered into large writes; a failing device must still be reported.
TEST(TransformScript, ReportsAFailedWrite) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  ScratchDir dir;
  WriteFile(dir / "in.sql", "text\ncreate procedure [sp_MSsel_x]\ngo\n");
  const Status status = Transform((dir / "in.sql").string(), {"a"}, "/dev/full");
  EXPECT_EQ(status.code(), Status::Code::kWriteError);
  EXPECT_TRUE(status.message().starts_with("cannot write '/dev/full': ")) << status.message();
}

TEST(TransformScript, OutputMayBeTheInput) {
  ScratchDir dir;
  const std::string path = (dir / "script.sql").string();
  WriteFile(path, "Text\r\n\r\nMore\r\ncreate procedure [sp_MSsel_x]\r\nGO\r\n");
  EXPECT_TRUE(Transform(path, {"a"}, path).ok());
  EXPECT_EQ(ReadFile(path), "text\nmore\r\ncreate procedure [sp_mssel_x]\r\ngo\r\n");
}

}  // namespace
