// Faults of the /R job's files: what the administrator sees, the exit code and what is left on
// disk, for inputs and outputs that cannot be used.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kOldOutput = "old output, must survive\n";
const std::string kNoProcedures = " input file has no replication procedures or not in ascii coding\n";
const std::string kOpenError = "file open error!!!\n";
const std::string kWriteError = "file write error!!!\n";

// A script of several kinds, long enough that any output written before the input is read
// whole would show.
std::string SampleScript() {
  std::string script = "-- Replication procedures\r\nGO\r\n";
  for (int i = 0; i < 2000; ++i) {
    const std::string table = "Table" + std::to_string(i);
    script += "create procedure [dbo].[sp_MSsel_dbo" + table + "]\r\n\t@c1 int\r\nas\r\nbegin\r\n"
              "\tselect * from [dbo].[" + table + "] where [ID] = @c1\r\n\r\n\r\nend\r\nGO\r\n";
  }
  return script;
}

std::string Utf16(const std::string& ascii, bool bigEndian, bool byteOrderMark) {
  std::string bytes = byteOrderMark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char c : ascii) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

// The files of one run: `input` and `output` are what the command line names.
struct Files {
  ScratchDir dir;
  std::string input = (dir / "in.sql").string();
  std::string output = (dir / "out.sql").string();
};

struct FileFault {
  std::string label;
  std::function<void(Files&)> setUp;
  std::string message;  // printed after the count line; the input path stands for "<in>"
  int exitCode;
  // What the output path holds afterwards: nullopt when it must not be a file.
  std::function<std::optional<std::string>(const Files&)> outputAfter;
  bool unprivileged = false;  // run as a user that file permissions apply to
};

void PrintTo(const FileFault& fault, std::ostream* out) { *out << fault.label; }

std::optional<std::string> Absent(const Files&) { return std::nullopt; }
std::optional<std::string> OldOutput(const Files&) { return kOldOutput; }
std::optional<std::string> Rewritten(const Files&) { return Transform(SampleScript()); }

void ScriptIn(Files& files) { WriteFile(files.input, SampleScript()); }
void ScriptInOldOut(Files& files) {
  ScriptIn(files);
  WriteFile(files.output, kOldOutput);
}
void InputBytes(Files& files, const std::string& bytes) {
  WriteFile(files.input, bytes);
  WriteFile(files.output, kOldOutput);
}

struct JobRun {
  std::string out;
  int exitCode;
};

// The job on the files, as the program runs it after the catalogue has been read.
JobRun RunJob(const Files& files) {
  bool transformed = false;
  const std::string out = CaptureStdout([&] { transformed = TransformScript(files.input, {"orders"}, files.output); });
  return {out, transformed ? 0 : 255};
}

std::string Substitute(std::string text, const Files& files) {
  const std::size_t at = text.find("<in>");
  if (at != std::string::npos) text.replace(at, 4, files.input);
  return text;
}

class FileFaults : public testing::TestWithParam<FileFault> {};

TEST_P(FileFaults, ReportAndLeaveTheOutputAsExpected) {
  const FileFault& fault = GetParam();
  if (fault.unprivileged) GTEST_SKIP() << "needs the program run as an unprivileged user";
  Files files;
  fault.setUp(files);
  const JobRun run = RunJob(files);
  EXPECT_EQ(run.out, Substitute(fault.message, files));
  EXPECT_EQ(run.exitCode, fault.exitCode);
  const std::optional<std::string> expected = fault.outputAfter(files);
  if (!expected) {
    EXPECT_FALSE(fs::is_regular_file(files.output));
  } else if (files.output != "/dev/full") {
    EXPECT_TRUE(ReadFile(files.output) == *expected) << "output differs";
  }
}

const FileFault kFileFaults[] = {
    // Output faults: the script is read, the output cannot take it.
    {"OutputToAFullDevice", [](Files& f) { ScriptIn(f); f.output = "/dev/full"; }, kWriteError, 255, Absent},
    {"OutputInAMissingDirectory", [](Files& f) { ScriptIn(f); f.output = (f.dir / "missing" / "out.sql").string(); },
     kWriteError, 255, Absent},
    {"OutputIsADirectory", [](Files& f) { ScriptIn(f); fs::create_directory(f.output); }, kWriteError, 255, Absent},
    {"OutputInADirectoryWithoutWritePermission",
     [](Files& f) {
       ScriptIn(f);
       fs::create_directory(f.dir / "locked");
       fs::permissions(f.dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
       f.output = (f.dir / "locked" / "out.sql").string();
     },
     kWriteError, 255, Absent, true},
    {"OutputFileWithoutWritePermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.output, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
     },
     kWriteError, 255, OldOutput, true},
    // Input faults: nothing is written.
    {"InputMissing", [](Files& f) { WriteFile(f.output, kOldOutput); }, kOpenError, 255, OldOutput},
    {"InputIsADirectory", [](Files& f) { fs::create_directory(f.input); }, kOpenError, 255, Absent},
    {"InputWithoutReadPermission",
     [](Files& f) {
       ScriptInOldOut(f);
       fs::permissions(f.input, fs::perms::none);
     },
     kOpenError, 255, OldOutput, true},
    {"InputOfZeroBytes", [](Files& f) { InputBytes(f, ""); }, "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputOfZeroBytesNoOutputCreated", [](Files& f) { WriteFile(f.input, ""); }, "input file <in>" + kNoProcedures,
     255, Absent},
    {"InputUtf16LittleEndianWithMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, true)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16LittleEndianWithoutMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), false, false)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16BigEndianWithMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, true)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    {"InputUtf16BigEndianWithoutMark", [](Files& f) { InputBytes(f, Utf16(SampleScript(), true, false)); },
     "input file <in>" + kNoProcedures, 255, OldOutput},
    // The input is read whole before the output is opened, so one file can be both.
    {"OutputIsTheInput", [](Files& f) { ScriptIn(f); f.output = f.input; }, "", 0, Rewritten},
    {"OutputReplacesAnOldFile", ScriptInOldOut, "", 0, Rewritten},
};

INSTANTIATE_TEST_SUITE_P(Job, FileFaults, testing::ValuesIn(kFileFaults),
                         [](const testing::TestParamInfo<FileFault>& info) { return info.param.label; });

// Names are bytes: any byte but a zero, "]" and a double quote may stand in them, none but
// A-Z is changed, and the header and preamble hold at most 127 bytes of them.
TEST(OddNames, AreCutAt127BytesAndOtherwiseKept) {
  std::string highBytes;
  for (int byte = 0x80; byte <= 0xFF; ++byte) highBytes += static_cast<char>(byte);
  const struct {
    std::string label;
    std::string name;      // after "sp_MSupd_dbo" in the create line
    std::string procName;  // as the header and preamble show it
  } cases[] = {
      {"300 bytes", std::string(300, 'N'), "sp_msupd_dbo" + std::string(115, 'n')},
      {"bytes 0x80 to 0xFF", highBytes, "sp_msupd_dbo" + highBytes.substr(0, 115)},
      {"zero byte", std::string("Ab\0Cd", 5), "sp_msupd_dboab"},
      {"zero byte first", std::string(1, '\0') + "X", "sp_msupd_dbo"},
      {"control bytes", "T\x01\t\x0b\r\x1f\x7fT", "sp_msupd_dbot\x01\t\x0b\r\x1f\x7ft"},
  };
  for (const auto& c : cases) {
    std::string procedure = "create procedure [dbo].[sp_MSupd_dbo" + c.name + "]\r\nas\r\nupdate t set c = 1\r\nGO\r\n";
    const std::string expected = "-- before\r\n/****** Object:  StoredProcedure [dbo].[ " + c.procName +
                                 " ] ******/\n \nIF object_id('dbo.[" + c.procName +
                                 "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" + c.procName +
                                 "]\nGO\n---------------------------\n";
    const std::string out = Transform("-- before\r\n" + procedure, {"t"});
    LowerCaseScript(procedure);
    EXPECT_EQ(out, expected + procedure) << c.label;
  }
}

}  // namespace
