// The program entry's logic: chooses the job from the command line, writes the banner, the
// usage text and the outcome of group creation or removal, and turns every outcome into the
// exit code.
#pragma once

// Exit codes as the program returns them (a POSIX shell shows -1 as 255 and -4 as 252).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;
constexpr int kExitStandardException = -4;

// Runs the job that the command line asks for (argv[0] is the program's own name).
// Switches match only as whole, case-sensitive arguments, in this order: "/?" or no argument
// (usage), "/C" (create the groups), "/R" with exactly two more arguments (the replication job,
// given the second and third arguments as input and output file), "/D" (remove the groups);
// anything else writes nothing and fails. A standard exception from any job is reported and
// gives kExitStandardException.
int RunDriver(int argc, const char* const* argv);
