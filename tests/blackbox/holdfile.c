/* Test helper: holds a file open without sharing until its standard input ends,
   as another program of the photo-print system might. Prints "held" once the file
   is open, so that a test can wait for that line instead of sleeping. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE file;
  if (argc != 2) {
    fprintf(stderr, "usage: holdfile <path>\n");
    return 2;
  }
  file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
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
