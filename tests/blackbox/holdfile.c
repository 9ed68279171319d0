/* Test helper: holds a file open until its standard input ends, as another program
   of the photo-print system, a virus scanner or another run of vindo might. The
   optional second argument says what the holder lets others do with the file
   meanwhile: "none" (the default), "read" or "read-write". Prints "held" once the file
   is open, so that a test can wait for that line instead of sleeping. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE file;
  DWORD sharing = 0;
  if (argc == 3 && strcmp(argv[2], "read") == 0) {
    sharing = FILE_SHARE_READ;
  } else if (argc == 3 && strcmp(argv[2], "read-write") == 0) {
    sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  } else if (argc != 2 && !(argc == 3 && strcmp(argv[2], "none") == 0)) {
    fprintf(stderr, "usage: holdfile <path> [none|read|read-write]\n");
    return 2;
  }
  file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, sharing, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    printf("failed %lu\n", (unsigned long)GetLastError());
    fflush(stdout);
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  while (getchar() != EOF) {
  }
  CloseHandle(file);
  return 0;
}
