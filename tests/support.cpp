#include "tests/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "rewrite/tsql.h"

const std::string kBannerText =
    "VOK QTV Database Administration Utility version 1.0\n"
    " Copyright (c) VOK. All rights reserved.\n"
    "\n";

const std::string kUsageText =
    "/C\t Create Vok NT groups\n"
    "\t\tvok_db_admin_security\n"
    "\t\tvok_db_qtv_server\n"
    "\t\tvok_db_admin_enterprise\n"
    "\t\tvok_db_admin_handheld\n"
    "\t\tvok_db_admin_sr_helpdesk\n"
    "\t\tvok_db_admin_jr_helpdesk\n"
    "\t\tvok_db_admin_audit_security\n"
    "\t\tvok_db_admin_audit_enterprise\n"
    "\t\tvok_db_admin_audit_handheld\n"
    "\t\tvok_db_admin_audit_sr_helpdesk\n"
    "\t\tvok_db_admin_audit_jr_helpdesk\n"
    "/D\t Delete VOK NT groups\n"
    "/R input_file output_file\t Process replication scripts\n";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFixture(const std::string& name) {
  return ReadFile(std::filesystem::path(QTV_TEST_DATA) / name);
}

// create_directory reports a name that exists already, so two tests never share one.
ScratchDir::ScratchDir() {
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = temp / ("qtvtest-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory in " + temp.string());
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ExpectedHeader(const std::string& procName) {
  return "/****** Object:  StoredProcedure [dbo].[ " + procName + " ] ******/\n \n";
}

std::string ExpectedPreamble(const std::string& procName) {
  return "IF object_id('dbo.[" + procName + "]') IS NOT NULL \n\tDROP PROCEDURE dbo.[" + procName +
         "]\nGO\n---------------------------\n";
}

std::string ExpectedFraming(const std::string& procName) {
  return ExpectedHeader(procName) + ExpectedPreamble(procName);
}

ProcedureFrame FrameForRewrite(std::string_view procedure) {
  ProcedureFrame frame;
  EXPECT_TRUE(CutProcedureName(procedure, frame)) << procedure;
  frame.objectCommentFollows = FindText(procedure, "/****** object") != kNotFound;
  const std::size_t goLine = FindGoLine(procedure);
  frame.goPos = goLine == kNotFound ? procedure.size() : goLine;
  return frame;
}

ScanResult ScanText(const std::string& script, const NoIdentityTableSet& tables) {
  std::ostringstream out;
  ScanResult result;
  result.status = ScanScript(script, tables, out, result.skipped);
  result.output = out.str();
  return result;
}

std::string Transform(const std::string& script, const NoIdentityTableSet& tables) {
  return ScanText(script, tables).output;
}

void ExpectEveryFailedWriteStopsTheScan(const std::string& script, const NoIdentityTableSet& tables,
                                        const std::string& full) {
  for (std::size_t capacity = 0; capacity < full.size(); ++capacity) {
    LimitedBuffer buffer(capacity);
    std::ostream out(&buffer);
    SkippedProcedures skipped;
    EXPECT_TRUE(ScanScript(script, tables, out, skipped).ok());
    EXPECT_TRUE(out.fail()) << "capacity " << capacity;
    ASSERT_EQ(buffer.bytes(), full.substr(0, capacity)) << "capacity " << capacity;
  }
}

std::string ErrorLine(std::string_view text) {
  return text.empty() ? std::string() : "qtvdbadmin: " + std::string(text) + "\n";
}

ProgramRun RunProgram(const std::vector<std::string>& arguments, const std::string& input) {
  std::vector<std::string> command{QTV_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunCommand(command, input);
}

std::string TestConnectionString(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

LimitedBuffer::int_type LimitedBuffer::overflow(int_type byte) {
  if (traits_type::eq_int_type(byte, traits_type::eof())) return traits_type::not_eof(byte);
  if (bytes_.size() >= capacity_) return traits_type::eof();
  bytes_.push_back(traits_type::to_char_type(byte));
  return byte;
}

std::streamsize LimitedBuffer::xsputn(const char* data, std::streamsize size) {
  const std::size_t taken = std::min(static_cast<std::size_t>(size), capacity_ - bytes_.size());
  bytes_.append(data, taken);
  return static_cast<std::streamsize>(taken);
}
