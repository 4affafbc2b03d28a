#include "cli/driver.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "catalog/replication_job.h"
#include "groups/groups.h"
#include "io/console.h"

namespace {

constexpr std::wstring_view kBanner =
    L"VOK QTV Database Administration Utility version 1.0\n"
    L" Copyright (c) VOK. All rights reserved.\n"
    L"\n";

bool HasSwitch(const std::vector<std::string>& arguments, std::string_view name) {
  return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
}

void WriteGroupNames(std::wstring_view format_prefix) {
  for (const wchar_t* const* group = AdminGroupTable; *group != nullptr; ++group) {
    ConsoleWrite(format_prefix);
    ConsoleWrite(*group);
    ConsoleWrite(L"\n");
  }
}

int WriteUsage() {
  ConsoleWrite(kBanner);
  ConsoleWrite(L"/C\t Create Vok NT groups\n");
  WriteGroupNames(L"\t\t");
  ConsoleWrite(L"/D\t Delete VOK NT groups\n");
  ConsoleWrite(L"/R input_file output_file\t Process replication scripts\n");
  return kExitSuccess;
}

// How the driver reports a group job: the line for every group as wanted, and the line for a
// failure, after which the job's messages follow.
struct GroupReport {
  std::wstring_view done;
  std::wstring_view failed;
};

constexpr GroupReport kCreateReport{L"VOK QTV NT administration groups was succefully created.\n\n",
                                    L"Could not create VOK QTV NT administration groups.\n\n"};
constexpr GroupReport kDeleteReport{L"VOK QTV NT administration groups was succefully deleted.\n\n",
                                    L"Could not delete VOK QTV NT administration groups.\n\n"};

// Writes the banner, runs `job` over every group and reports it: on success the group names,
// otherwise the job's messages.
int RunGroupJob(bool (*job)(GroupErrorList&), const GroupReport& report) {
  ConsoleWrite(kBanner);
  ConsoleFlush();
  GroupErrorList errors;
  if (job(errors)) {
    ConsoleWrite(report.done);
    WriteGroupNames(L"");
    return kExitSuccess;
  }
  ConsoleWrite(report.failed);
  for (const std::wstring& message : errors) {
    ConsoleWrite(message);
    ConsoleWrite(L"\n");
  }
  return kExitFailure;
}

constexpr std::wstring_view kStandardExceptionText =
    L"sdt exception : cannot do script transfarmation";

// Turns the replication job's status into the exit code, after saying on standard error why
// it failed (a cancelled prompt is the operator's choice and says nothing). A script the
// transformer cannot take apart ends as a standard exception always has.
int ReplicationExitCode(const Status& status) {
  if (status.ok()) return kExitSuccess;
  if (status.code() != Status::Code::kCancelled) ConsoleErrorLine(status.message());
  if (status.code() != Status::Code::kMalformed) return kExitFailure;
  ConsoleWrite(kStandardExceptionText);
  return kExitStandardException;
}

int Dispatch(const std::vector<std::string>& arguments) {
  const std::size_t count = arguments.size();
  if (count == 0 || HasSwitch(arguments, "/?")) return WriteUsage();
  if (HasSwitch(arguments, "/C")) return RunGroupJob(CreateNTGroups, kCreateReport);
  if (HasSwitch(arguments, "/R") && count == 3) {
    return ReplicationExitCode(ProcessReplicationScripts(arguments[1], arguments[2]));
  }
  if (HasSwitch(arguments, "/D")) return RunGroupJob(DeleteNTGroups, kDeleteReport);
  return kExitFailure;
}

}  // namespace

int RunDriver(int argc, const char* const* argv) {
  int result;
  try {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    result = Dispatch(arguments);
  } catch (const std::exception& exception) {
    ConsoleErrorLine(std::string("the run was stopped by an exception: ") + exception.what());
    ConsoleWrite(kStandardExceptionText);
    result = kExitStandardException;
  }
  // Text that could not reach standard output makes no success.
  if (!ConsoleFlush() && result == kExitSuccess) {
    ConsoleErrorLine("cannot write to standard output");
    result = kExitFailure;
  }
  return result;
}
