/* libmspack's one-shot SZDD decompression with the library's default I/O:
 * mspack_default OUTPUT_DIR FILE...  writes OUTPUT_DIR/<name>.out for each FILE. */
#include <mspack.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s OUTPUT_DIR FILE...\n", argv[0]);
    return 2;
  }
  struct msszdd_decompressor* szdd = mspack_create_szdd_decompressor(NULL);
  if (szdd == NULL) return 1;
  int failed = 0;
  for (int i = 2; i < argc; ++i) {
    const char* base = strrchr(argv[i], '/');
    char out[4096];
    snprintf(out, sizeof out, "%s/%s.out", argv[1], base != NULL ? base + 1 : argv[i]);
    int error = szdd->decompress(szdd, argv[i], out);
    if (error != MSPACK_ERR_OK) {
      fprintf(stderr, "%s: libmspack error %d\n", argv[i], error);
      failed = 1;
    }
  }
  mspack_destroy_szdd_decompressor(szdd);
  return failed;
}
