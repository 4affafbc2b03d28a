// The command line, end to end through the real program: one row for each way of writing it.
// Rows that reach /C or /D run over a copy of /etc (root only); rows that reach the database
// use the PostgreSQL fixture. A row whose surroundings are missing is skipped, saying why.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/group_sandbox.h"
#include "tests/support.h"

namespace {

enum class Needs { kNothing, kGroupSandbox, kDatabase };

// What the program prints; each also tells whether the eleven groups are created or removed.
enum class Shows { kNothing, kUsage, kGroupsCreated, kGroupsDeleted, kCountThenOpenError };

std::string Text(Shows shows) {
  switch (shows) {
    case Shows::kNothing:
      return "";
    case Shows::kUsage:
      return kBannerText + kUsageText;
    case Shows::kGroupsCreated:
      return GroupsCreatedText();
    case Shows::kGroupsDeleted:
      return GroupsDeletedText();
    case Shows::kCountThenOpenError:
      return "\t3 tables have no identity columns\nfile open error!!!\n";
  }
  return "";
}

struct DispatchRow {
  const char* label;
  // "<in>" and "<out>" stand for a script and a file name in a scratch directory, "<missing>"
  // for a file that does not exist there.
  std::vector<std::string> arguments;
  Needs needs;
  Shows shows;
  int exitCode;
  std::string err = "";  // the line on standard error without "qtvdbadmin: ", with the stand-ins
};

void PrintTo(const DispatchRow& row, std::ostream* out) { *out << row.label; }
const std::string kScript =
    "create procedure [sp_MSins_dboOrders]\r\nas\r\nbegin\r\ninsert into orders values "
    "(1)\r\nend\r\nGO\r\n";

class Dispatch : public testing::TestWithParam<DispatchRow> {};

TEST_P(Dispatch, ChoosesTheJobFromTheWholeArguments) {
  const DispatchRow& row = GetParam();
  std::string input;
  std::optional<EtcSandbox> sandbox;
  std::optional<RealGroupDatabaseGuard> guard;
  if (row.needs == Needs::kGroupSandbox) {
    const std::string unavailable = GroupSandboxUnavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    guard.emplace();
    sandbox.emplace();
  } else if (row.needs == Needs::kDatabase) {
    QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC");
    input = connection + "\n";
  }
  const ScratchDir scratch;
  const std::filesystem::path dir = sandbox ? sandbox->path() : scratch.path();
  WriteFile(dir / "in.sql", kScript);
  const std::pair<std::string, std::string> standIns[] = {
      {"<in>", (dir / "in.sql").string()},
      {"<out>", (dir / "out.sql").string()},
      {"<missing>", (dir / "missing.sql").string()},
  };
  std::vector<std::string> arguments = row.arguments;
  for (std::string& argument : arguments) {
    for (const auto& [standIn, path] : standIns) {
      if (argument == standIn) argument = path;
    }
  }
  std::string err = row.err;
  for (const auto& [standIn, path] : standIns) {
    const std::size_t at = err.find(standIn);
    if (at != std::string::npos) err.replace(at, standIn.size(), path);
  }

  const std::string groupsBefore = sandbox ? sandbox->GroupFile() : "";
  // A row that removes the groups starts with them there.
  if (row.shows == Shows::kGroupsDeleted) {
    ASSERT_EQ(sandbox->RunProgram({"/C"}).out, GroupsCreatedText());
  }
  const bool rootFileD = std::filesystem::exists("/D");
  const ProgramRun run = sandbox ? sandbox->RunProgram(arguments) : RunProgram(arguments, input);
  EXPECT_EQ(run.out, Text(row.shows));
  EXPECT_EQ(run.exitCode, row.exitCode);
  EXPECT_EQ(run.err, ErrorLine(err));
  // No row gets as far as writing a script, nor the file /D that one names as its output.
  EXPECT_FALSE(std::filesystem::exists(dir / "out.sql"));
  EXPECT_EQ(std::filesystem::exists("/D"), rootFileD);
  if (sandbox) {
    const std::vector<std::string> added = AddedGroups(groupsBefore, sandbox->GroupFile());
    EXPECT_EQ(added,
              row.shows == Shows::kGroupsCreated ? GroupNames() : std::vector<std::string>{});
  }
}

const DispatchRow kRows[] = {
    {"NoArgument", {}, Needs::kNothing, Shows::kUsage, 0},
    {"Usage", {"/?"}, Needs::kNothing, Shows::kUsage, 0},
    // Usage wins wherever it stands: no group is created, no script is read.
    {"UsageBeforeGroups", {"/C", "/?"}, Needs::kGroupSandbox, Shows::kUsage, 0},
    {"UsageBeforeScript", {"/R", "<in>", "/?"}, Needs::kNothing, Shows::kUsage, 0},
    {"UsageBeforeDelete", {"/D", "/?"}, Needs::kGroupSandbox, Shows::kUsage, 0},
    // Switches match only whole and in their case.
    {"LowerCaseC", {"/c"}, Needs::kNothing, Shows::kNothing, 255},
    {"LowerCaseR", {"/r", "<in>", "<out>"}, Needs::kNothing, Shows::kNothing, 255},
    {"HyphenForSlash", {"-C"}, Needs::kNothing, Shows::kNothing, 255},
    {"TrailingColon", {"/C:"}, Needs::kNothing, Shows::kNothing, 255},
    {"UsageWithTrailingColon", {"/?:"}, Needs::kNothing, Shows::kNothing, 255},
    {"LowerCaseD", {"/d"}, Needs::kNothing, Shows::kNothing, 255},
    {"Anything", {"anything"}, Needs::kNothing, Shows::kNothing, 255},
    // /R takes exactly two more arguments.
    {"ScriptWithOneName", {"/R", "<in>"}, Needs::kNothing, Shows::kNothing, 255},
    {"ScriptWithThreeNames",
     {"/R", "<in>", "<out>", "more"},
     Needs::kNothing,
     Shows::kNothing,
     255},
    // An empty file name ends the job before the prompt.
    {"EmptyInputName",
     {"/R", "", "<out>"},
     Needs::kNothing,
     Shows::kNothing,
     255,
     "the input file name is empty"},
    {"EmptyOutputName",
     {"/R", "<in>", ""},
     Needs::kNothing,
     Shows::kNothing,
     255,
     "the output file name is empty"},
    // /C wins over /R, and twice is once.
    {"GroupsTwice", {"/C", "/C"}, Needs::kGroupSandbox, Shows::kGroupsCreated, 0},
    {"GroupsBeforeScript",
     {"/C", "/R", "<in>", "<out>"},
     Needs::kGroupSandbox,
     Shows::kGroupsCreated,
     0},
    {"GroupsAfterScript",
     {"/R", "<in>", "<out>", "/C"},
     Needs::kGroupSandbox,
     Shows::kGroupsCreated,
     0},
    {"GroupsAsTheScriptsInput",
     {"/R", "/C", "<out>"},
     Needs::kGroupSandbox,
     Shows::kGroupsCreated,
     0},
    {"GroupsWithTwoMore", {"/C", "/R", "<out>"}, Needs::kGroupSandbox, Shows::kGroupsCreated, 0},
    // /D comes after /C and a valid /R.
    {"Delete", {"/D"}, Needs::kGroupSandbox, Shows::kGroupsDeleted, 0},
    {"DeleteTwice", {"/D", "/D"}, Needs::kGroupSandbox, Shows::kGroupsDeleted, 0},
    {"GroupsAfterDelete", {"/D", "/C"}, Needs::kGroupSandbox, Shows::kGroupsCreated, 0},
    {"DeleteWithTrailingColon", {"/D:"}, Needs::kNothing, Shows::kNothing, 255},
    {"DeleteAfterScriptWithThreeNames",
     {"/R", "<in>", "<out>", "/D"},
     Needs::kGroupSandbox,
     Shows::kGroupsDeleted,
     0},
    // With two more arguments /R wins, and "/D" is its output file: the input is missing, so
    // nothing is written.
    {"DeleteAsTheScriptsOutput",
     {"/R", "<missing>", "/D"},
     Needs::kDatabase,
     Shows::kCountThenOpenError,
     255,
     "cannot read '<missing>': No such file or directory"},
    // Wherever /R stands among three arguments, the second is the input and the third the
    // output: here the input is the file "/R", which does not exist.
    {"ScriptSwitchInTheMiddle",
     {"<in>", "/R", "<out>"},
     Needs::kDatabase,
     Shows::kCountThenOpenError,
     255,
     "cannot read '/R': No such file or directory"},
    {"ScriptSwitchTwice",
     {"/R", "/R", "<out>"},
     Needs::kDatabase,
     Shows::kCountThenOpenError,
     255,
     "cannot read '/R': No such file or directory"},
};

INSTANTIATE_TEST_SUITE_P(CommandLines, Dispatch, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<DispatchRow>& info) {
                           return std::string(info.param.label);
                         });

}  // namespace
