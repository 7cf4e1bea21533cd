// Where a path really leads, for the write guard: symbolic links followed as
// the call that is checked would follow them. The guard calls these with its
// own calls passing unchecked.
#include "write_guard_paths.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// Symbolic links followed at most, as the kernel does.
enum { kMaxLinkDepth = 40 };

static void Append(char* out, const char* name) {
  size_t length = strlen(out);
  if (length + 1 + strlen(name) >= PATH_MAX) return;  // over-long: the call fails with ENAMETOOLONG
  if (length == 0 || out[length - 1] != '/') strcat(out, "/");
  strcat(out, name);
}

static void DropLastComponent(char* out) {
  char* slash = strrchr(out, '/');
  if (slash == NULL || slash == out) {
    strcpy(out, "/");
  } else {
    *slash = '\0';
  }
}

// The canonical form of an absolute path whose tail may not exist yet; a
// dangling symbolic link is followed to where it would create its target.
void sorana_write_guard_canonical(const char* path, char* out, int depth) {
  if (realpath(path, out) != NULL) return;
  struct stat info;
  if (depth < kMaxLinkDepth && lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    char target[PATH_MAX];
    ssize_t length = readlink(path, target, sizeof target - 1);
    if (length > 0) {
      target[length] = '\0';
      char next[PATH_MAX];
      if (target[0] == '/') {
        strcpy(next, target);
      } else {
        strcpy(next, path);
        DropLastComponent(next);
        Append(next, target);
      }
      sorana_write_guard_canonical(next, out, depth + 1);
      return;
    }
  }
  char head[PATH_MAX];
  strcpy(head, path);
  while (strlen(head) > 1 && head[strlen(head) - 1] == '/') head[strlen(head) - 1] = '\0';
  const char* slash = strrchr(head, '/');
  if (slash == NULL || strcmp(head, "/") == 0) {
    strcpy(out, "/");
    return;
  }
  char tail[PATH_MAX];
  strcpy(tail, slash + 1);
  if (slash == head) {
    strcpy(head, "/");
  } else {
    head[slash - head] = '\0';
  }
  sorana_write_guard_canonical(head, out, depth);
  if (strcmp(tail, "..") == 0) {
    DropLastComponent(out);
  } else if (strcmp(tail, ".") != 0 && tail[0] != '\0') {
    Append(out, tail);
  }
}

// Where the call on (dirfd, path) acts. `followLast`: the call follows a
// symbolic link in the last component (open) rather than acting on the link
// itself (rename, unlink, mkdir).
void sorana_write_guard_resolve(int dirfd, const char* path, int followLast, char* out) {
  char absolute[PATH_MAX] = "";
  if (path[0] != '/') {
    if (dirfd == AT_FDCWD) {
      if (getcwd(absolute, sizeof absolute) == NULL) strcpy(absolute, "/");
    } else {
      char link[64];
      snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
      ssize_t length = readlink(link, absolute, sizeof absolute - 1);
      absolute[length > 0 ? length : 0] = '\0';
      if (length <= 0) strcpy(absolute, "/");
    }
  }
  Append(absolute, path);
  while (strlen(absolute) > 1 && absolute[strlen(absolute) - 1] == '/') absolute[strlen(absolute) - 1] = '\0';

  const char* last = strrchr(absolute, '/') + 1;
  if (followLast || strcmp(last, ".") == 0 || strcmp(last, "..") == 0 || last[0] == '\0') {
    sorana_write_guard_canonical(absolute, out, 0);
    return;
  }
  char name[PATH_MAX];
  strcpy(name, last);
  char parent[PATH_MAX];
  strcpy(parent, absolute);
  DropLastComponent(parent);
  sorana_write_guard_canonical(parent, out, 0);
  Append(out, name);
}
