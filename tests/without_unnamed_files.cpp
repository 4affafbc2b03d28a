// Runs a command as on a file system that offers no unnamed files: every open with O_TMPFILE
// fails with EOPNOTSUPP, as the system answers there. A seccomp filter that the command and
// its children keep. Usage: without_unnamed_files PROGRAM [ARGUMENT...]
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: without_unnamed_files PROGRAM [ARGUMENT...]\n");
    return 127;
  }
  // The flags of openat are its third argument; the filter reads their lower 32 bits.
  constexpr unsigned kFlags =
      offsetof(seccomp_data, args[2]) + (std::endian::native == std::endian::big ? 4 : 0);
  constexpr unsigned kTmpfile = __O_TMPFILE & ~O_DIRECTORY;
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFlags),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kTmpfile, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    std::fprintf(stderr, "without_unnamed_files: seccomp: %s\n", std::strerror(errno));
    return 126;
  }
  execvp(argv[1], argv + 1);
  std::fprintf(stderr, "without_unnamed_files: %s: %s\n", argv[1], std::strerror(errno));
  return 127;
}
