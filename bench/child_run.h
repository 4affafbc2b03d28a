// Runs one piece of work, or one program, in a child process, so that its time and its peak
// resident memory are its own. Before each start, whatever this process has buffered is
// flushed and the system's pending writes are synced, so that the writes of earlier runs are
// not the child's to wait for.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ChildRun {
  bool ok = false;     // the child ran, and its work reported success (exit status 0)
  double seconds = 0;  // wall time, as each function below states
  double peakMiB = 0;  // the child's peak resident memory, in MiB
};

// Runs `work` in a fresh child process of this one and waits for it. `seconds` is the time of
// the work alone, measured in the child. The peak includes what the child shares with this
// process at its start, so keep this process small.
ChildRun RunInChild(const std::function<bool()>& work);

// Runs the program `arguments[0]` (a full path) with the rest of `arguments`, and waits for
// it. Its standard input is read from `inputPath`, and its standard output written to
// `outputPath` (created or truncated), each when not empty; otherwise it keeps this
// process's. `seconds` is the time from its start to its end, as a shell's `time` shows it.
ChildRun RunProgram(const std::vector<std::string>& arguments, const std::string& inputPath = {},
                    const std::string& outputPath = {});
