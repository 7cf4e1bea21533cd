// Stand-ins for the LHA library in the binding's tests. The partial one exports
// only UnlhaGetVersion; the echo one also exports an Unlha that writes the size
// it was given and the command line into the output buffer. On Windows they
// use the library's calling convention and plain export names, as it does.
#include <cstdio>

#ifdef _WIN32
#define STAND_IN_ENTRY __declspec(dllexport) __stdcall
#else
#define STAND_IN_ENTRY __attribute__((visibility("default")))
#endif

extern "C" {

unsigned short STAND_IN_ENTRY UnlhaGetVersion(void) { return 42; }

#ifdef LHA_STAND_IN_ECHO
int STAND_IN_ENTRY Unlha(void*, const char* cmdLine, char* output, unsigned long size) {
  std::snprintf(output, size, "%lu|%s", size, cmdLine);
  return 7;
}
#endif

}  // extern "C"
