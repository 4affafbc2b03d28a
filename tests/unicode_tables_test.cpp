// The /R job end to end on tables named beyond ASCII, against the PostgreSQL fixture's database
// of its own: the database lower-cases MÜNZE and ΣΤΟΙΧΕΙΟ, the script writes them in capitals,
// and the membership test folds both as a case-insensitive collation does, so neither gets
// switch lines; the ASCII table with an identity column does.
#include <gtest/gtest.h>

#include "tests/support.h"

namespace {

// An insert procedure for `table` (UTF-8), LF.
std::string InsertProcedure(const std::string& procedure, const std::string& table) {
  return "create procedure [sp_MSins_dbo" + procedure +
         "] @c1 int\nas\nbegin\n\tinsert into [dbo].[" + table + "]([id]) values (@c1)\nend\nGO\n";
}

std::string Written(const std::string& procedure, const std::string& table,
                    const std::string& switched) {
  const std::string on = switched.empty() ? "" : "\tset identity_insert  " + switched + " ON\n\n";
  const std::string off = switched.empty() ? "" : "\tset identity_insert  " + switched + " OFF\n\n";
  return ExpectedFraming("sp_msins_dbo" + procedure) + "create procedure [sp_msins_dbo" +
         procedure + "] @c1 int\nas\nbegin\n\t" + on + "insert into [dbo].[" + table +
         "]([id]) values (@c1)" + off + "end\ngo\n";
}

TEST(UnicodeTables, AreMembersOfTheSetWhateverTheCaseOfTheirLetters) {
  QTV_REQUIRE_CONNECTION(connection, "QTV_TEST_ODBC_UNICODE");
  const std::string muenze = "M\xC3\x9CNZE";           // MÜNZE
  const std::string muenzeAsWritten = "m\xC3\x9Cnze";  // A-Z lower-cased only
  const std::string stoicheio =                        // ΣΤΟΙΧΕΙΟ
      "\xCE\xA3\xCE\xA4\xCE\x9F\xCE\x99\xCE\xA7\xCE\x95\xCE\x99\xCE\x9F";
  ScratchDir dir;
  WriteFile(dir / "in.sql", InsertProcedure("Muenze", muenze) +
                                InsertProcedure("Stoicheio", stoicheio) +
                                InsertProcedure("Zaehler", "ZAEHLER"));
  const ProgramRun run =
      RunProgram({"/R", (dir / "in.sql").string(), (dir / "out.sql").string()}, connection + "\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "\t2 tables have no identity columns\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(dir / "out.sql"), Written("muenze", muenzeAsWritten, "") +
                                           Written("stoicheio", stoicheio, "") +
                                           Written("zaehler", "zaehler", "zaehler"));
}

}  // namespace
