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

// Whether the byte is one of a word (letters, digits, _ @ # $, bytes from 0x80).
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' ||
         c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// Offsets of the word `word` in `text` where it stands in code and whole.
std::vector<std::size_t> WordsInCode(std::string_view text, std::string_view word) {
  std::vector<std::size_t> words;
  for (std::size_t at : InCode(text, word)) {
    const std::size_t after = at + word.size();
    if ((at == 0 || !IsWordChar(text[at - 1])) &&
        (after == text.size() || !IsWordChar(word.back()) || !IsWordChar(text[after]))) {
      words.push_back(at);
    }
  }
  return words;
}

// SQL Server's reserved keywords, which a name can take only in brackets or quotes.
bool IsKeyword(std::string_view word) {
  static const std::string kKeywords =
      " add all alter and any as asc authorization backup begin between break browse bulk by"
      " cascade case check checkpoint close clustered coalesce collate column commit compute"
      " constraint contains containstable continue convert create cross current current_date"
      " current_time current_timestamp current_user cursor database dbcc deallocate declare"
      " default delete deny desc disk distinct distributed double drop dump else end errlvl"
      " escape except exec execute exists exit external fetch file fillfactor for foreign"
      " freetext freetexttable from full function goto grant group having holdlock identity"
      " identity_insert identitycol if in index inner insert intersect into is join key kill"
      " left like lineno load merge national nocheck nonclustered not null nullif of off"
      " offsets on open opendatasource openquery openrowset openxml option or order outer over"
      " percent pivot plan precision primary print proc procedure public raiserror read"
      " readtext reconfigure references replication restore restrict return revert revoke"
      " right rollback rowcount rowguidcol rule save schema securityaudit select"
      " semantickeyphrasetable semanticsimilaritydetailstable semanticsimilaritytable"
      " session_user set setuser shutdown some statistics system_user table tablesample"
      " textsize then to top tran transaction trigger truncate try_convert tsequal union unique"
      " unpivot update updatetext use user values varying view waitfor when where while with"
      " within writetext ";
  std::string spaced(1, ' ');  // appended, not concatenated: GCC 12 warns of the latter wrongly
  spaced.append(word).push_back(' ');
  return kKeywords.find(spaced) != std::string::npos;
}

// Whether `name` is a table name SQL Server parses: one to three parts joined by ".", each
// [bracketed] ("]]" inside), "quoted" ("" inside) or a regular identifier that is no keyword.
bool ParsesAsTableName(std::string_view name) {
  int parts = 0;
  for (std::size_t at = 0;;) {
    if (at == name.size()) return false;
    const char open = name[at];
    if (open == '[' || open == '"') {
      const char close = open == '[' ? ']' : '"';
      std::size_t end = at + 1;
      while (end < name.size() &&
             !(name[end] == close && (end + 1 == name.size() || name[end + 1] != close))) {
        end += name[end] == close ? 2 : 1;
      }
      if (end >= name.size() || end == at + 1) return false;
      at = end + 1;
    } else {
      const std::size_t start = at;
      if (!(std::isalpha(static_cast<unsigned char>(open)) || open == '_' || open == '#'))
        return false;
      while (at < name.size() && IsWordChar(name[at])) ++at;
      if (IsKeyword(name.substr(start, at - start))) return false;
    }
    if (++parts > 3) return false;
    if (at == name.size()) return true;
    if (name[at] != '.') return false;
    ++at;
  }
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

// The tables of the test catalogue that have no identity column: every table of these
// scripts has one by its answer.
const NoIdentityTableSet kCatalogueTables = {"customers", "notatable", "regions"};

// A replication procedure of a script: its name and its text from "create procedure " to the
// end of its batch.
struct NamedProcedure {
  std::string name;
  std::string_view text;
  std::string Kind() const { return name.substr(5, 4); }  // "ins_", "upd_" or "del_"
};

// Each batch that creates a replication procedure in code.
std::vector<NamedProcedure> ReplicationProcedures(std::string_view script) {
  std::vector<NamedProcedure> procedures;
  for (const TsqlBatch& batch : SplitBatches(script)) {
    const std::vector<std::size_t> creates = InCode(batch.text, "create procedure ");
    if (creates.empty()) continue;
    const std::string_view rest = batch.text.substr(creates.front());
    std::string name = ReplicationName(rest.substr(0, rest.find('\n')));
    if (name.size() >= 9) procedures.push_back({std::move(name), rest});
  }
  return procedures;
}

// The texts of the replication procedures of `kind`.
std::vector<std::string_view> ProcedureBatches(std::string_view script, std::string_view kind) {
  std::vector<std::string_view> texts;
  for (const NamedProcedure& procedure : ReplicationProcedures(script)) {
    if (procedure.Kind() == kind) texts.push_back(procedure.text);
  }
  return texts;
}

// With the test catalogue's tables, every insert into a table with an identity column holds
// its switch lines (those the rewrite writes, or its own).
TEST_P(RealScript, SwitchesEveryInsertIntoATableWithAnIdentityColumn) {
  const std::string output = LowerCased(Transform(ReadFile(GetParam()), kCatalogueTables));
  for (const std::string_view procedure : ProcedureBatches(output, "ins_")) {
    const std::vector<std::size_t> inserts = WordsInCode(procedure, "insert");
    ASSERT_FALSE(inserts.empty()) << procedure;
    std::size_t target = procedure.find_first_not_of(" \t\r\n", inserts.front() + 6);
    if (procedure.compare(target, 4, "into") == 0) {
      target = procedure.find_first_not_of(" \t\r\n", target + 4);
    }
    std::string table(
        procedure.substr(target, procedure.find_first_of(" \t\r\n(", target) - target));
    table = Without(table.substr(table.rfind('.') + 1), "[]\"");
    if (kCatalogueTables.contains(table)) continue;
    EXPECT_FALSE(WordsInCode(procedure, "set identity_insert").empty())
        << GetParam().filename() << ": " << procedure.substr(0, procedure.find('\n'));
  }
}

// Every update of the "if substring" form is cut to its second block: no "if substring" stands
// before its first update any more.
TEST_P(RealScript, CutsEveryIfSubstringUpdate) {
  for (const std::string_view procedure : ProcedureBatches(output_, "upd_")) {
    const std::vector<std::size_t> updates = WordsInCode(procedure, "update");
    const std::vector<std::size_t> tests = WordsInCode(procedure, "if substring");
    EXPECT_FALSE(!tests.empty() && (updates.empty() || tests.front() < updates.front()))
        << GetParam().filename() << ": " << procedure.substr(0, procedure.find('\n'));
  }
}

// Every switch line names a table as SQL Server can parse it: a reserved keyword only in
// brackets.
TEST_P(RealScript, SwitchLinesNameParsableTables) {
  constexpr std::string_view kSwitch = "\tset identity_insert  ";
  for (std::size_t at = output_.find(kSwitch); at != std::string::npos;
       at = output_.find(kSwitch, at + 1)) {
    const std::size_t nameStart = at + kSwitch.size();
    const std::string line = output_.substr(nameStart, output_.find('\n', nameStart) - nameStart);
    const std::size_t state = line.rfind(' ');
    ASSERT_NE(state, std::string::npos) << line;
    EXPECT_TRUE(ParsesAsTableName(line.substr(0, state))) << GetParam().filename() << ": " << line;
  }
}

// The warnings name exactly the replication procedures that the output leaves unrewritten: an
// insert without switch lines, an update without an update statement or still under its
// if-substring test, a delete whose row-count test still stands in code.
TEST_P(RealScript, NamesExactlyTheProceduresLeftUnrewritten) {
  std::vector<std::string> unrewritten;
  for (const auto& [name, procedure] : ReplicationProcedures(output_)) {
    const std::string kind = name.substr(5, 4);
    const std::vector<std::size_t> updates = WordsInCode(procedure, "update");
    const std::vector<std::size_t> tests = WordsInCode(procedure, "if substring");
    if ((kind == "ins_" && WordsInCode(procedure, "set identity_insert").empty()) ||
        (kind == "upd_" &&
         (updates.empty() || (!tests.empty() && tests.front() < updates.front()))) ||
        (kind == "del_" && !WordsInCode(procedure, "if @@rowcount = 0").empty())) {
      unrewritten.push_back(name);
    }
  }
  std::vector<std::string> named;
  for (const SkippedProcedure& procedure : ScanText(ReadFile(GetParam())).skipped) {
    named.push_back(LowerCased(procedure.name));
  }
  EXPECT_EQ(named, unrewritten);
}

TEST(ParsesAsTableName, TellsNamesSqlServerParses) {
  for (const char* name : {"orders", "[key]", "[order details]", "[a]]b]", "\"user\"", "#t",
                           "[sales].[key]", "db.sales.orders"}) {
    EXPECT_TRUE(ParsesAsTableName(name)) << name;
  }
  for (const char* name :
       {"key", "order", "sales.user", "[]", "[open", "1t", "a..b", "a.b.c.d", "@t", ""}) {
    EXPECT_FALSE(ParsesAsTableName(name)) << name;
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
