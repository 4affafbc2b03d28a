// The transformer on real scripts that SQL Server and administrators' tools produced (the
// collection in ../shared/realworld beside the checkout): every replication procedure is
// rewritten, no rewrite breaks a batch, and the names written are the procedures' and tables'
// own. Each property is checked with a reading of its own, not with the transformer's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "rewrite/script_file.h"
#include "tests/support.h"
#include "tests/tsql_batches.h"

namespace {

const std::filesystem::path kCollection = QTV_REALWORLD_DIR;

std::vector<std::filesystem::path> CollectionFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kCollection, error)) {
    if (entry.path().extension() == ".sql") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Offsets of `needle` in `text` where it stands in code.
std::vector<std::size_t> InCode(std::string_view text, std::string_view needle) {
  std::vector<std::size_t> found;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    if (StateAt(text, at) == LexicalState::kCode) found.push_back(at);
  }
  return found;
}

// The replication procedure a create line names ("sp_ms" and the rest of the name), or "".
std::string ReplicationName(std::string_view createLine) {
  const std::size_t start = createLine.find("sp_ms");
  if (start == std::string_view::npos) return "";
  const std::size_t end = createLine.find_first_of("]\" \t\r\n(;", start);
  return std::string(createLine.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string Without(std::string text, std::string_view bytes) {
  std::erase_if(text, [bytes](char c) { return bytes.find(c) != std::string_view::npos; });
  return text;
}

class RealScript : public testing::TestWithParam<std::filesystem::path> {
 protected:
  void SetUp() override {
    const std::string original = ReadFile(GetParam());
    output_ = Transform(original, {"placeholder"});
    input_ = LowerCased(original);
  }
  std::string input_;  // lower-cased, as the checks below read it
  std::string output_;
};

// The script is read without regard to the case of its letters: lower-cased or upper-cased,
// it gives the output that it gives as written.
TEST_P(RealScript, ReadsTheScriptWithoutRegardToCase) {
  std::string upper = input_;
  for (char& byte : upper) {
    if (byte >= 'a' && byte <= 'z') byte = static_cast<char>(byte - 'a' + 'A');
  }
  EXPECT_EQ(Transform(input_, {"placeholder"}), output_);
  EXPECT_EQ(Transform(upper, {"placeholder"}), output_);
}

// Every insert, update and delete procedure is framed, a delete only when it has a row-count
// test to comment out; and each DROP names a procedure of the script.
TEST_P(RealScript, FramesEveryReplicationProcedure) {
  std::vector<std::string> expected;
  for (const TsqlBatch& batch : SplitBatches(input_)) {
    for (std::size_t create : InCode(batch.text, "create procedure ")) {
      const std::string_view rest = batch.text.substr(create);
      const std::string name = ReplicationName(rest.substr(0, rest.find('\n')));
      if (name.size() < 9) continue;
      const std::string kind = name.substr(5, 4);
      const bool deleteWithTest = kind == "del_" && !InCode(rest, "if @@rowcount = 0").empty();
      if (kind == "ins_" || kind == "upd_" || deleteWithTest) expected.push_back(name);
    }
  }
  std::vector<std::string> dropped;
  constexpr std::string_view kDrop = "\tDROP PROCEDURE dbo.[";
  for (std::size_t at = output_.find(kDrop); at != std::string::npos;
       at = output_.find(kDrop, at + 1)) {
    const std::size_t start = at + kDrop.size();
    dropped.push_back(output_.substr(start, output_.find("]\n", start) - start));
  }
  EXPECT_EQ(dropped, expected);
}

// No delete procedure of the output raises 20598 any more.
TEST_P(RealScript, NoDeleteRaisesTheRowNotFoundError) {
  for (const TsqlBatch& batch : SplitBatches(output_)) {
    const std::vector<std::size_t> creates = InCode(batch.text, "create procedure ");
    if (creates.empty()) continue;
    const std::string_view rest = batch.text.substr(creates.front());
    if (ReplicationName(rest.substr(0, rest.find('\n'))).starts_with("sp_msdel_")) {
      EXPECT_TRUE(InCode(batch.text, "20598").empty()) << batch.text;
    }
  }
}

// A rewrite never leaves a batch inside a comment or a string.
TEST_P(RealScript, EndsNoMoreBatchesInsideACommentOrString) {
  auto openBatches = [](std::string_view script) {
    const std::vector<TsqlBatch> batches = SplitBatches(script);
    return std::count_if(batches.begin(), batches.end(), EndsOpen);
  };
  EXPECT_LE(openBatches(output_), openBatches(input_));
}

// Every identity switch names the table that the insert statement after it writes to: the
// table alone where the owner is dbo, else owner and table.
TEST_P(RealScript, SwitchesTheTableTheInsertWritesTo) {
  constexpr std::string_view kOn = "\tset identity_insert  ";
  for (std::size_t at = output_.find(kOn); at != std::string::npos;
       at = output_.find(kOn, at + 1)) {
    const std::size_t nameStart = at + kOn.size();
    std::string switched = output_.substr(nameStart, output_.find('\n', nameStart) - nameStart);
    if (!switched.ends_with(" ON")) continue;  // an OFF line
    switched.resize(switched.size() - 3);
    std::size_t target = output_.find("insert", nameStart) + 6;
    target = output_.find_first_not_of(" \t\r\n", target);
    if (output_.compare(target, 5, "into ") == 0 || output_.compare(target, 5, "into\n") == 0) {
      target = output_.find_first_not_of(" \t\r\n", target + 4);
    }
    std::string written =
        output_.substr(target, output_.find_first_of(" \t\r\n(", target) - target);
    written = Without(written, "[]\"");
    if (written.starts_with("dbo.")) written.erase(0, 4);
    EXPECT_EQ(Without(switched, "[]\""), written) << GetParam().filename();
  }
}

INSTANTIATE_TEST_SUITE_P(Collection, RealScript, testing::ValuesIn(CollectionFiles()),
                         [](const testing::TestParamInfo<std::filesystem::path>& info) {
                           std::string name = info.param.stem().string();
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealScript);

TEST(RealScripts, CollectionIsThere) {
  if (CollectionFiles().empty())
    GTEST_SKIP() << "no scripts in " << kCollection << "; the checks above did not run";
}

}  // namespace
