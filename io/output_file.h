// An output file that takes the place of its path only when it is whole.
//
// A path that names a regular file, or nothing yet, is written through a temporary file in the
// same directory, named ".qtvdbadmin-" and six more characters. CommitOutputFile flushes it to
// the disk and renames it over the path in one step; until then the path keeps its old
// content, or stays absent. The new file keeps the old one's permission bits, and its owner
// and group where the process may set them (as root). A symbolic link is followed: the file it
// names is replaced and the link stays. An existing regular file that the process may not
// write is refused, as opening it for writing would be.
//
// A path that exists and is not a regular file (a FIFO, a terminal, the null device) cannot
// be replaced and is written directly. A path that names the same open file as standard
// output (/dev/stdout, or the file standard output is redirected to) is written through
// standard output, after everything the console wrote there before.
//
// An output that goes without being committed removes its temporary file. So do SIGINT,
// SIGTERM and SIGHUP (on POSIX; Ctrl-C on Windows) while it is open, unless the process
// ignores them, before they end the process as they would have. Only SIGKILL or a power loss
// can leave a temporary file behind, never a damaged output. One output file may be open at a
// time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Bytes that start at a multiple of this in memory, handed on in whole multiples of it, may
// go to a new file past the system's cache: it is synced before it takes the path's place
// anyway, and copying it into the cache first would only cost time.
constexpr std::size_t kOutputFileAlignment = 4096;

// The platform's state of one output file; see output_file-posix.cpp, output_file-win32.cpp.
struct OutputFile;
struct OutputFileDeleter {
  // Closes the file; one that was not committed removes its temporary file.
  void operator()(OutputFile* file) const noexcept;
};
using OutputFilePtr = std::unique_ptr<OutputFile, OutputFileDeleter>;

// Opens `path` for new content. Returns null, with the reason in `error` and nothing created,
// when the path cannot take it: its directory is missing or not writable, it is a directory,
// an existing file may not be written, or another output file is open.
OutputFilePtr OpenOutputFile(const std::string& path, std::string& error);

// Writes all of `bytes`. Returns false when the system refuses some of them (a full disk, a
// file-size limit, an I/O error); the file is then failed and cannot be committed.
bool WriteOutputFile(OutputFile& file, std::string_view bytes);

// Like WriteOutputFile, but may return before the bytes are written, so that the caller can
// make the next ones meanwhile (on POSIX a thread of the file writes them). The bytes must stay
// as they are until the next call on `file` or until it goes. A refusal shows at the next call
// (this one returns true) or at the commit.
bool StartOutputFileWrite(OutputFile& file, std::string_view bytes);

// Makes what was written the content of the path: syncs the temporary file, renames it over the
// path and syncs the directory. Returns false when a write failed before or the sync or rename
// fails; the path is then untouched and the temporary file is removed when the file goes.
bool CommitOutputFile(OutputFile& file);

// Why the last call on `file` failed; empty while none has.
const std::string& OutputFileError(const OutputFile& file);
