// What each platform's output file (output_file-posix.cpp, output_file-win32.cpp) gives the
// shared part (output_file.cpp), which buffers the stream and allows one output file at a time,
// and what the shared part gives them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/output_file.h"

// The shared part hands on bytes that start at a multiple of this in memory. Those of a new
// file may go to it past the system's cache: it is synced before it takes the path's place
// anyway, and copying it into the cache first would only cost time.
constexpr std::size_t kOutputFileAlignment = 4096;

// The platform's state of one open output: the new file beside the path, or the path itself.
struct OutputTarget;

// A new target for `path`, not yet open.
OutputTarget* NewOutputTarget(const std::string& path);

// Opens the target's path as OpenOutputFile says. On a failure the target is closed unopened.
Status OpenOutputTarget(OutputTarget& target);

// Hands `bytes` to the target. May return before they are written (on POSIX a thread writes
// them): they must stay as they are until the next call on `target`. A refusal is returned by
// this call or by the next one.
Status StartOutputTargetWrite(OutputTarget& target, std::string_view bytes);

// Waits for a started write, then commits as CommitOutputFile says.
Status CommitOutputTarget(OutputTarget& target);

// Waits for a started write, closes the target, removes its new file unless it was committed,
// and frees it. After this no write reads the bytes handed on.
void CloseOutputTarget(OutputTarget* target) noexcept;

// kWriteError, "cannot write '<path>': <reason>".
Status UnwritableOutput(const std::string& path, std::string_view reason);
