// Fuzzes the transformer from bytes to bytes, through the same calls TransformScript makes
// after reading the file: LowerCaseScript, then ScanScript into a stream.
//
// An input whose first line starts with "-- tables:" names the tables without an identity
// column, separated by blanks; the line stays part of the script. Without it the set holds
// a few names common in the seeds. The cuts of malformed input that the transformer documents
// (the create keyword at the very end, a name shorter than nine bytes, ...) end with
// std::out_of_range, a normal outcome here; any other exception escapes and is a finding.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
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
    if (blank != 0) tables.insert(std::string(line.substr(0, blank)));
    if (blank == std::string_view::npos) break;
    line.remove_prefix(blank + 1);
  }
  return tables;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string scriptText(reinterpret_cast<const char*>(data), size);
  const NoIdentityTableSet tables = TablesFor(scriptText);
  LowerCaseScript(scriptText);
  std::ostringstream out;
  try {
    ScanScript(scriptText, tables, out);
  } catch (const std::out_of_range&) {
    // Malformed input, reported by the program as a standard exception.
  }
  return 0;
}
