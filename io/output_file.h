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
// can leave a temporary file behind, never a damaged output.
//
// One output file may be open at a time: the signals know one new file.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "io/status.h"

// One open output file; see output_file.cpp.
struct OutputFile;
struct OutputFileDeleter {
  // Closes the file; without a commit its new file is removed and the path keeps what it had.
  void operator()(OutputFile* file) const noexcept;
};
using OutputFilePtr = std::unique_ptr<OutputFile, OutputFileDeleter>;

// Opens `path` for new content into `file`. Fails, leaving `file` null and creating nothing,
// when the path cannot take it (its directory is missing or not writable, it is a directory, an
// existing file may not be written, a link may not be followed) or another output file is
// open: kWriteError, "cannot write '<path>': <why>".
Status OpenOutputFile(const std::string& path, OutputFilePtr& file);

// The stream the new content is written to. It gathers the bytes into large pieces, which are
// written while the next ones are made. Once the system refuses a piece (a full disk, a
// file-size limit, a closed pipe), the stream fails, at once or a piece later, and the commit
// says why.
std::ostream& OutputFileStream(OutputFile& file);

// Writes what the stream holds and makes it the content of the path: syncs the new file,
// renames it over the path and syncs the directory. Fails with kWriteError, "cannot write
// '<path>': <why>", when a write failed before or the sync or rename fails; the path is then
// untouched, and the new file goes when `file` goes.
Status CommitOutputFile(OutputFile& file);
