// An independent T-SQL grammar (tests/tsql-judge, antlr4ts-sql's T-SQL parser, run by Node.js)
// judges the rewritten real scripts of ../shared/realworld: every replication procedure whose
// batch parses in the input parses in the output, and so does every drop preamble the rewrite
// adds. scripts/setup-judge installs the grammar; without it the test is skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.h"
#include "tests/tsql_batches.h"

namespace {

const std::filesystem::path kCollection = QTV_REALWORLD_DIR;
const std::filesystem::path kJudge = QTV_TSQL_JUDGE_DIR;

// The name of the replication procedure (sp_ms, an ins/upd/del kind, "_") that a batch creates
// in code, lower case, or "".
std::string CreatedReplicationProcedure(std::string_view batch) {
  const std::string lower = LowerCased(batch);
  for (std::size_t at = lower.find("create procedure "); at != std::string::npos;
       at = lower.find("create procedure ", at + 1)) {
    if (StateAt(lower, at) != LexicalState::kCode) continue;
    const std::string line = lower.substr(at, lower.find('\n', at) - at);
    const std::size_t name = line.find("sp_ms");
    if (name == std::string::npos) return "";
    const std::string kind = line.substr(name + 5, 4);
    if (kind != "ins_" && kind != "upd_" && kind != "del_") return "";
    return line.substr(name, line.find_first_of("]\" \t\r(;", name) - name);
  }
  return "";
}

struct JudgedScript {
  std::filesystem::path file;
  std::vector<std::string_view> inputBatches, outputBatches;
  std::string input, output;
};

// Runs the judge once over every batch of every script: "ok" or the first syntax error each.
std::vector<std::string> Judge(const std::vector<JudgedScript>& scripts, const ScratchDir& dir) {
  std::string batches;
  for (const JudgedScript& script : scripts) {
    for (const auto* list : {&script.inputBatches, &script.outputBatches}) {
      for (const std::string_view batch : *list) batches.append(batch).push_back('\0');
    }
  }
  WriteFile(dir / "batches", batches);
  const ProgramRun run =
      RunCommand({"node", (kJudge / "judge.js").string(), (dir / "batches").string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> verdicts;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) verdicts.push_back(line);
  return verdicts;
}

TEST(TsqlGrammar, ReplicationProceduresThatParseStillParseAfterTheRewrite) {
  if (!std::filesystem::exists(kJudge / "node_modules" / "antlr4ts-sql")) {
    GTEST_SKIP() << "the T-SQL grammar is not installed in " << kJudge
                 << "; run scripts/setup-judge (scripts/setup and scripts/test do)";
  }
  if (RunCommand({"node", "--version"}).exitCode != 0) GTEST_SKIP() << "Node.js is not installed";
  std::vector<JudgedScript> scripts;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kCollection, error)) {
    if (entry.path().extension() != ".sql") continue;
    JudgedScript& script = scripts.emplace_back();
    script.file = entry.path();
    script.input = ReadFile(entry.path());
    script.output = Transform(script.input);
  }
  if (scripts.empty()) GTEST_SKIP() << "no scripts in " << kCollection;
  std::sort(scripts.begin(), scripts.end(),
            [](const JudgedScript& a, const JudgedScript& b) { return a.file < b.file; });
  for (JudgedScript& script : scripts) {
    for (const TsqlBatch& batch : SplitBatches(script.input))
      script.inputBatches.push_back(batch.text);
    for (const TsqlBatch& batch : SplitBatches(script.output))
      script.outputBatches.push_back(batch.text);
  }

  const ScratchDir dir;
  const std::vector<std::string> verdicts = Judge(scripts, dir);
  std::size_t next = 0;
  std::size_t judged = 0;
  for (const JudgedScript& script : scripts) {
    SCOPED_TRACE(script.file.filename().string());
    // Whether each procedure's batch parsed in the input, in order of appearance by name.
    std::map<std::string, std::vector<bool>> parsedBefore;
    for (const std::string_view batch : script.inputBatches) {
      ASSERT_LT(next, verdicts.size());
      const std::string name = CreatedReplicationProcedure(batch);
      if (!name.empty()) parsedBefore[name].push_back(verdicts[next] == "ok");
      ++next;
    }
    std::map<std::string, std::size_t> seen;
    for (const std::string_view batch : script.outputBatches) {
      ASSERT_LT(next, verdicts.size());
      const std::string& verdict = verdicts[next++];
      const std::string name = CreatedReplicationProcedure(batch);
      if (batch.find("\tDROP PROCEDURE dbo.[") != std::string_view::npos &&
          CreatedReplicationProcedure(batch).empty()) {
        EXPECT_EQ(verdict, "ok") << batch;  // a drop preamble
        continue;
      }
      if (name.empty()) continue;
      const std::vector<bool>& before = parsedBefore[name];
      const std::size_t index = seen[name]++;
      ASSERT_LT(index, before.size()) << name;
      if (!before[index]) continue;
      ++judged;
      EXPECT_EQ(verdict, "ok") << name << "\n" << batch;
    }
  }
  EXPECT_EQ(next, verdicts.size());
  EXPECT_GT(judged, 0u);
}

}  // namespace
