// The write guard: while armed, every call that creates, changes or removes a
// file-system entry is checked before it runs, and one that would touch
// anything outside the allowed folders aborts the process (which the fuzzer
// reports as a finding, with the offending call on stderr).
//
// The functions below take the place of the C library's for the whole process
// (the program's own definitions come first in symbol lookup), so they also
// see the calls made inside libstdc++ (std::filesystem, fstreams) and other
// shared libraries. Each forwards to the C library's function found with
// dlsym(RTLD_NEXT).
#define _GNU_SOURCE

#include "write_guard.h"
#include "write_guard_paths.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utime.h>

enum { kMaxRoots = 8, kMaxTemporaries = 64 };

static atomic_bool g_armed;
static char g_roots[kMaxRoots][PATH_MAX];
static size_t g_rootCount;
static _Thread_local int t_inside;  // the guard's own calls pass unchecked

// Files created exclusively (O_EXCL, mkstemp) while armed: the way temporary
// files are made. They must be renamed or removed before the call returns.
static char g_temporaries[kMaxTemporaries][PATH_MAX];
static size_t g_temporaryCount;
static char g_leftover[PATH_MAX];

void sorana_write_guard_arm(const char* const* folders, size_t count) {
  atomic_store(&g_armed, 0);
  g_rootCount = 0;
  g_temporaryCount = 0;
  for (size_t i = 0; i < count && g_rootCount < kMaxRoots; ++i) {
    if (realpath(folders[i], g_roots[g_rootCount]) != NULL) ++g_rootCount;
  }
  atomic_store(&g_armed, 1);
}

void sorana_write_guard_disarm(void) { atomic_store(&g_armed, 0); }

const char* sorana_write_guard_leftover(void) {
  for (size_t i = 0; i < g_temporaryCount; ++i) {
    struct stat info;
    if (g_temporaries[i][0] != '\0' && lstat(g_temporaries[i], &info) == 0) {
      strcpy(g_leftover, g_temporaries[i]);
      return g_leftover;
    }
  }
  return NULL;
}

static int Allowed(const char* resolved) {
  for (size_t i = 0; i < g_rootCount; ++i) {
    size_t length = strlen(g_roots[i]);
    if (strncmp(resolved, g_roots[i], length) == 0 && (resolved[length] == '\0' || resolved[length] == '/')) {
      return 1;
    }
  }
  return 0;
}

static void Check(const char* call, int dirfd, const char* path, int followLast) {
  if (!atomic_load(&g_armed) || t_inside || path == NULL) return;
  t_inside = 1;
  char resolved[PATH_MAX];
  sorana_write_guard_resolve(dirfd, path, followLast, resolved);
  if (!Allowed(resolved)) {
    atomic_store(&g_armed, 0);  // the fuzzer's own crash report must be writable
    fprintf(stderr, "==write guard== %s(\"%s\") would change %s, outside the scratch folder\n", call, path,
            resolved);
    abort();
  }
  t_inside = 0;
}

static void RememberTemporary(int dirfd, const char* path) {
  if (!atomic_load(&g_armed) || t_inside || g_temporaryCount == kMaxTemporaries) return;
  int saved = errno;  // the caller may look at errno after a success
  t_inside = 1;
  sorana_write_guard_resolve(dirfd, path, 0, g_temporaries[g_temporaryCount++]);
  t_inside = 0;
  errno = saved;
}

// A temporary file renamed into place or removed is no longer one.
static void ForgetTemporary(int dirfd, const char* path) {
  if (!atomic_load(&g_armed) || t_inside) return;
  int saved = errno;
  t_inside = 1;
  char resolved[PATH_MAX];
  sorana_write_guard_resolve(dirfd, path, 0, resolved);
  for (size_t i = 0; i < g_temporaryCount; ++i) {
    if (strcmp(g_temporaries[i], resolved) == 0) g_temporaries[i][0] = '\0';
  }
  t_inside = 0;
  errno = saved;
}

static void* Real(const char* name) {
  void* function = dlsym(RTLD_NEXT, name);
  if (function == NULL) {
    fprintf(stderr, "==write guard== no %s in the C library\n", name);
    abort();
  }
  return function;
}

// The C library's function of the same name and type as the one defined here.
#define REAL(name)                      \
  static __typeof__(name)* real_##name; \
  if (real_##name == NULL) real_##name = (__typeof__(name)*)Real(#name)

// ---- The checked calls ---------------------------------------------------------

static int Writes(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0 ||
         (flags & O_TMPFILE) == O_TMPFILE;
}
static int OpenFollows(int flags) {
  return (flags & O_NOFOLLOW) == 0 && (flags & (O_CREAT | O_EXCL)) != (O_CREAT | O_EXCL);
}
static mode_t ModeArgument(int flags, va_list args) {
  return ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) ? (mode_t)va_arg(args, int) : 0;
}

#define DEFINE_OPEN(name)                                                                                 \
  int name(const char* path, int flags, ...) {                                                            \
    va_list args;                                                                                         \
    va_start(args, flags);                                                                                \
    mode_t mode = ModeArgument(flags, args);                                                              \
    va_end(args);                                                                                         \
    if (Writes(flags)) Check(#name, AT_FDCWD, path, OpenFollows(flags));                                  \
    REAL(name);                                                                                           \
    int fd = real_##name(path, flags, mode);                                                              \
    if (fd >= 0 && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) RememberTemporary(AT_FDCWD, path); \
    return fd;                                                                                            \
  }
#define DEFINE_OPENAT(name)                                                                            \
  int name(int dirfd, const char* path, int flags, ...) {                                              \
    va_list args;                                                                                      \
    va_start(args, flags);                                                                             \
    mode_t mode = ModeArgument(flags, args);                                                           \
    va_end(args);                                                                                      \
    if (Writes(flags)) Check(#name, dirfd, path, OpenFollows(flags));                                  \
    REAL(name);                                                                                        \
    int fd = real_##name(dirfd, path, flags, mode);                                                    \
    if (fd >= 0 && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) RememberTemporary(dirfd, path); \
    return fd;                                                                                         \
  }
DEFINE_OPEN(open)
DEFINE_OPEN(open64)
DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)

int creat(const char* path, mode_t mode) {
  Check("creat", AT_FDCWD, path, 1);
  REAL(creat);
  return real_creat(path, mode);
}

#define DEFINE_FOPEN(name)                                                                     \
  FILE* name(const char* path, const char* mode) {                                             \
    if (strpbrk(mode, "wa+") != NULL) Check(#name, AT_FDCWD, path, strchr(mode, 'x') == NULL); \
    REAL(name);                                                                                \
    return real_##name(path, mode);                                                            \
  }
DEFINE_FOPEN(fopen)
DEFINE_FOPEN(fopen64)

int mkdir(const char* path, mode_t mode) {
  Check("mkdir", AT_FDCWD, path, 0);
  REAL(mkdir);
  return real_mkdir(path, mode);
}
int mkdirat(int dirfd, const char* path, mode_t mode) {
  Check("mkdirat", dirfd, path, 0);
  REAL(mkdirat);
  return real_mkdirat(dirfd, path, mode);
}

int rename(const char* from, const char* to) {
  Check("rename", AT_FDCWD, from, 0);
  Check("rename", AT_FDCWD, to, 0);
  REAL(rename);
  int result = real_rename(from, to);
  if (result == 0) ForgetTemporary(AT_FDCWD, from);
  return result;
}
int renameat(int fromfd, const char* from, int tofd, const char* to) {
  Check("renameat", fromfd, from, 0);
  Check("renameat", tofd, to, 0);
  REAL(renameat);
  int result = real_renameat(fromfd, from, tofd, to);
  if (result == 0) ForgetTemporary(fromfd, from);
  return result;
}
int renameat2(int fromfd, const char* from, int tofd, const char* to, unsigned int flags) {
  Check("renameat2", fromfd, from, 0);
  Check("renameat2", tofd, to, 0);
  REAL(renameat2);
  int result = real_renameat2(fromfd, from, tofd, to, flags);
  if (result == 0) ForgetTemporary(fromfd, from);
  return result;
}

int link(const char* from, const char* to) {
  Check("link", AT_FDCWD, to, 0);
  REAL(link);
  return real_link(from, to);
}
int linkat(int fromfd, const char* from, int tofd, const char* to, int flags) {
  Check("linkat", tofd, to, 0);
  REAL(linkat);
  return real_linkat(fromfd, from, tofd, to, flags);
}
int symlink(const char* target, const char* path) {
  Check("symlink", AT_FDCWD, path, 0);
  REAL(symlink);
  return real_symlink(target, path);
}
int symlinkat(const char* target, int dirfd, const char* path) {
  Check("symlinkat", dirfd, path, 0);
  REAL(symlinkat);
  return real_symlinkat(target, dirfd, path);
}

int unlink(const char* path) {
  Check("unlink", AT_FDCWD, path, 0);
  REAL(unlink);
  int result = real_unlink(path);
  if (result == 0) ForgetTemporary(AT_FDCWD, path);
  return result;
}
int unlinkat(int dirfd, const char* path, int flags) {
  Check("unlinkat", dirfd, path, 0);
  REAL(unlinkat);
  int result = real_unlinkat(dirfd, path, flags);
  if (result == 0) ForgetTemporary(dirfd, path);
  return result;
}
int rmdir(const char* path) {
  Check("rmdir", AT_FDCWD, path, 0);
  REAL(rmdir);
  return real_rmdir(path);
}
int remove(const char* path) {
  Check("remove", AT_FDCWD, path, 0);
  REAL(remove);
  int result = real_remove(path);
  if (result == 0) ForgetTemporary(AT_FDCWD, path);
  return result;
}

// mkstemp and its relatives open the file inside the C library, past open().
#define DEFINE_MKSTEMP(name, params, args)             \
  int name params {                                    \
    Check(#name, AT_FDCWD, pattern, 0);                \
    REAL(name);                                        \
    int fd = real_##name args;                         \
    if (fd >= 0) RememberTemporary(AT_FDCWD, pattern); \
    return fd;                                         \
  }
DEFINE_MKSTEMP(mkstemp, (char* pattern), (pattern))
DEFINE_MKSTEMP(mkstemp64, (char* pattern), (pattern))
DEFINE_MKSTEMP(mkstemps, (char* pattern, int suffix), (pattern, suffix))
DEFINE_MKSTEMP(mkostemp, (char* pattern, int flags), (pattern, flags))
DEFINE_MKSTEMP(mkostemps, (char* pattern, int suffix, int flags), (pattern, suffix, flags))

int truncate(const char* path, off_t length) {
  Check("truncate", AT_FDCWD, path, 1);
  REAL(truncate);
  return real_truncate(path, length);
}
int chmod(const char* path, mode_t mode) {
  Check("chmod", AT_FDCWD, path, 1);
  REAL(chmod);
  return real_chmod(path, mode);
}
int fchmodat(int dirfd, const char* path, mode_t mode, int flags) {
  Check("fchmodat", dirfd, path, (flags & AT_SYMLINK_NOFOLLOW) == 0);
  REAL(fchmodat);
  return real_fchmodat(dirfd, path, mode, flags);
}
int chown(const char* path, uid_t owner, gid_t group) {
  Check("chown", AT_FDCWD, path, 1);
  REAL(chown);
  return real_chown(path, owner, group);
}
int lchown(const char* path, uid_t owner, gid_t group) {
  Check("lchown", AT_FDCWD, path, 0);
  REAL(lchown);
  return real_lchown(path, owner, group);
}
int utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) {
  // A null path sets the times of dirfd itself (futimens), though the header
  // declares it non-null: read it through a volatile so the test is kept.
  const char* volatile given = path;
  if (given != NULL) Check("utimensat", dirfd, given, (flags & AT_SYMLINK_NOFOLLOW) == 0);
  REAL(utimensat);
  return real_utimensat(dirfd, path, times, flags);
}
int utimes(const char* path, const struct timeval times[2]) {
  Check("utimes", AT_FDCWD, path, 1);
  REAL(utimes);
  return real_utimes(path, times);
}
int utime(const char* path, const struct utimbuf* times) {
  Check("utime", AT_FDCWD, path, 1);
  REAL(utime);
  return real_utime(path, times);
}
int mknod(const char* path, mode_t mode, dev_t device) {
  Check("mknod", AT_FDCWD, path, 0);
  REAL(mknod);
  return real_mknod(path, mode, device);
}
int mkfifo(const char* path, mode_t mode) {
  Check("mkfifo", AT_FDCWD, path, 0);
  REAL(mkfifo);
  return real_mkfifo(path, mode);
}
