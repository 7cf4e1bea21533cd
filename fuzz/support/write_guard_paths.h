// Where a path really leads, for the write guard (write_guard.c).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The canonical form of an absolute path whose tail may not exist yet; a
// dangling symbolic link is followed to where it would create its target.
void sorana_write_guard_canonical(const char* path, char* out, int depth);

// Where the call on (dirfd, path) acts. `followLast`: the call follows a
// symbolic link in the last component (open) rather than acting on the link
// itself (rename, unlink, mkdir). `out` holds PATH_MAX bytes.
void sorana_write_guard_resolve(int dirfd, const char* path, int followLast, char* out);

#ifdef __cplusplus
}
#endif
