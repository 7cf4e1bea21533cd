/* The write guard of the fuzz targets: while armed, a call that would create,
   change or remove anything outside the given folders aborts the process. */
#ifndef SORANA_FUZZ_WRITE_GUARD_H
#define SORANA_FUZZ_WRITE_GUARD_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Allows changes only below `folders` (existing folders; up to eight) until
   disarmed. */
void sorana_write_guard_arm(const char* const* folders, size_t count);
void sorana_write_guard_disarm(void);
/* The first file created exclusively (O_EXCL, mkstemp) since the guard was
   armed that still exists under the name it was created with; NULL when none. */
const char* sorana_write_guard_leftover(void);

#ifdef __cplusplus
}
#endif

#endif
