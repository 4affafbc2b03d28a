// Runs one piece of work in a child process, so that its time and its peak resident memory
// are its own.
#pragma once

#include <functional>

struct ChildRun {
  bool ok = false;        // the child ran the work, which reported success
  double seconds = 0;     // wall time of the work alone, measured in the child
  double peakMiB = 0;     // the child's peak resident memory, in MiB
};

// Runs `work` in a fresh child process of this one and waits for it. The peak includes what
// the child shares with this process at its start, so keep this process small.
ChildRun RunInChild(const std::function<bool()>& work);
