// Running one of the system's group tools (groupadd, groupdel) on one group name: directly,
// without a shell, in the C locale, with everything it writes kept for the report.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// How one run of a tool ended.
struct ShadowToolRun {
  // The tool's exit status; empty when it was not run, could not be started or waited for, or
  // was ended by a signal.
  std::optional<int> exitStatus;
  // Without an exit status: what happened, as a sentence that names the tool.
  std::wstring failure;
  // What the tool wrote to its standard output and standard error together: the first 400
  // bytes, line ends and tabs as blanks, trailing blanks cut, bytes outside ASCII as '?'.
  std::wstring output;
};

// Where the system keeps groupadd and groupdel, in the order they are looked for there.
inline constexpr std::string_view kSystemToolDirectories[] = {"/usr/sbin", "/sbin"};

// Runs `tool -- group` and waits for it to end. The tool is run from the first of `directories`
// that holds a file of its name, never looked up on the PATH, where another user may have put a
// program of the same name first. Its standard input is /dev/null; its environment is the
// caller's with LC_ALL=C, so that its words are plain ASCII. A name that holds anything but
// printable ASCII is refused without running the tool, rather than handing it some other name.
ShadowToolRun RunShadowTool(std::span<const std::string_view> directories, const char* tool,
                            const std::wstring& group);

// The words for a run that its caller has no outcome of its own for: "<tool> exited with status
// N", or the failure, followed by ": " and the output when the tool wrote anything.
std::wstring ShadowToolWords(const char* tool, const ShadowToolRun& run);

// `text` with every byte outside ASCII as '?'.
std::wstring WidenAscii(std::string_view text);
