// Fuzzes the transformer from bytes to bytes, through the call TransformScript makes after
// reading the file: ScanScript into a stream. The script is scanned a second time lower-cased,
// which must give the same output: the transformer reads it without regard to case.
//
// An input whose first line starts with "-- tables:" names the tables without an identity
// column, separated by blanks; the line stays part of the script. Without it the set holds
// a few names common in the seeds. A script that the scan reports malformed (the create keyword
// at its very end) is a normal outcome here; any exception escapes and is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "rewrite/script_file.h"

namespace {

constexpr std::string_view kTablesLine = "-- tables:";

NoIdentityTableSet TablesFor(std::string_view input) {
  NoIdentityTableSet tables{"placeholder"};
  if (!input.starts_with(kTablesLine)) {
    tables.insert({"orders", "items", "message", "lkpscorecardcategory"});
    return tables;
  }
  std::string_view line = input.substr(kTablesLine.size());
  line = line.substr(0, line.find('\n'));
  while (!line.empty()) {
    const std::size_t blank = line.find(' ');
    if (blank != 0) tables.insert(LowerCased(line.substr(0, blank)));  // as the catalogue has them
    if (blank == std::string_view::npos) break;
    line.remove_prefix(blank + 1);
  }
  return tables;
}

// The output of a scan, with the procedures it skipped and the failure it reported, if any.
std::string Scan(std::string_view scriptText, const NoIdentityTableSet& tables) {
  std::ostringstream out;
  SkippedProcedures skipped;
  const Status status = ScanScript(scriptText, tables, out, skipped);
  for (const SkippedProcedure& procedure : skipped) {
    out << "\n<skipped " << LowerCased(procedure.name) << ": " << procedure.reason << ">";
  }
  if (!status.ok()) out << "\n<" << status.message() << ">";
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view scriptText(reinterpret_cast<const char*>(data), size);
  const NoIdentityTableSet tables = TablesFor(scriptText);
  if (Scan(scriptText, tables) != Scan(LowerCased(scriptText), tables)) std::abort();
  return 0;
}
