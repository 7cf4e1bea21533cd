// Stand-ins for libunlha32.so in the binding's tests. The partial one exports
// only UnlhaGetVersion; the echo one also exports an Unlha that writes the size
// it was given and the command line into the output buffer.
#include <cstdio>

extern "C" {

__attribute__((visibility("default"))) unsigned short UnlhaGetVersion(void) { return 42; }

#ifdef LHA_STAND_IN_ECHO
__attribute__((visibility("default"))) int Unlha(void*, const char* cmdLine, char* output,
                                                 unsigned long size) {
  std::snprintf(output, size, "%lu|%s", size, cmdLine);
  return 7;
}
#endif

}  // extern "C"
