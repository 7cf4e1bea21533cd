/* libmspack's one-shot SZDD expansion with the library's default I/O:
 *   mspack_oneshot OUTPUT_DIR FILE...
 * writes OUTPUT_DIR/<name> for each FILE (the last part of its path). */
#include <mspack.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s OUTPUT_DIR FILE...\n", argv[0]);
    return 2;
  }
  struct msszdd_decompressor* szdd = mspack_create_szdd_decompressor(NULL);
  if (szdd == NULL) {
    fprintf(stderr, "libmspack: no SZDD decompressor\n");
    return 1;
  }
  int failed = 0;
  for (int i = 2; i < argc; ++i) {
    const char* base = strrchr(argv[i], '/');
    char out[4096];
    int length = snprintf(out, sizeof out, "%s/%s", argv[1], base != NULL ? base + 1 : argv[i]);
    if (length < 0 || (size_t)length >= sizeof out) {
      fprintf(stderr, "%s: output path too long\n", argv[i]);
      failed = 1;
      continue;
    }
    int error = szdd->decompress(szdd, argv[i], out);
    if (error != MSPACK_ERR_OK) {
      fprintf(stderr, "%s: libmspack error %d\n", argv[i], error);
      failed = 1;
    }
  }
  mspack_destroy_szdd_decompressor(szdd);
  return failed;
}
