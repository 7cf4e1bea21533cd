// A switch for the stop-anywhere tests: the process can be ended dead at the
// N-th file change, as a power cut would end it, to check that every state a
// stop can leave behind is one the next run recovers from.
//
// Off unless SORANA_CRASH_POINTS names an existing file of at least 8 bytes
// (zero-filled by the test). Then each call adds one to the 64-bit counter in
// that file's first 8 bytes (host byte order), mapped shared, so that every
// copy of the host layer in the process (the LHA library links one of its own)
// counts into the same counter; when the count reaches SORANA_CRASH_AT (a
// positive number) the process ends at once with exit code 86: no destructors,
// no flushed streams. The environment is read once, at the first call.
//
// With SORANA_CRASH_TRACE naming a file (Linux), each call also appends its
// number on a line of its own and then its call stack, one frame a line.
#pragma once

#include <cstdint>

namespace sorana::platform {

inline constexpr int kCrashExitCode = 86;

// A place where the process may be ended dead by a test: every operation that
// changes files calls it just before it changes anything.
void CrashPoint();

// The hosts' shared part: SORANA_CRASH_AT as a number, 0 (count only) when it
// is unset or not a number; and one more on the shared counter, whose new
// value it returns.
uint64_t CrashPointStop();
uint64_t CountCrashPoint(uint64_t* counter);

}  // namespace sorana::platform
