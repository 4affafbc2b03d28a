// An output file that takes the place of its path only when it is whole.
//
// A path that names a regular file, or nothing yet, is written through a new file in the same
// directory. CommitOutputFile flushes it to the disk and renames it over the path in one step;
// until then the path keeps its old content, or stays absent. The new file keeps the old one's
// permission bits, its owner and group where the process may set them (as root) and, on POSIX,
// its extended attributes, the ACL among them, where the process may set them. A symbolic link
// is followed: the file it names is replaced and the link stays. On POSIX a link that lies in a
// sticky directory that everyone may write (such as /tmp) is followed only when it belongs to
// the caller or to the directory's owner, as the system's protected_symlinks rule has it. An
// existing regular file that the process may not write is refused, as opening it for writing
// would be.
//
// On POSIX the new file is made, renamed and removed relative to the directory it was made in,
// so a directory renamed meanwhile takes it along; where the file system offers unnamed files
// (O_TMPFILE), it gets a name only once it is whole and synced: while it is written no
// name of it exists, and nothing of it outlives the process, even SIGKILL. Elsewhere (and on
// Windows) it is named ".qtvdbadmin-" and six more characters from its creation on; a signal
// that ends the process (on POSIX HUP, INT, QUIT, TERM, USR1, USR2, ALRM, VTALRM, PROF, XCPU
// and PWR, unless the process ignores it; Ctrl-C on Windows) removes it first, then ends the
// process as it would have. Only SIGKILL or a power loss can leave such a file behind, and
// where the file system names new files only when whole, only in the instant between naming
// the whole new file and renaming it over an existing output. Never a damaged output.
//
// A path that exists and is not a regular file (a FIFO, a terminal, the null device) cannot
// be replaced and is written directly. A path that names the same open file as standard
// output (/dev/stdout, or the file standard output is redirected to) is written through
// standard output, after everything the console wrote there before.
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
