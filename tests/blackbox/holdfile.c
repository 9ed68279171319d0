/* Test helper: holds a file open until its standard input ends, as another program
   of the photo-print system, a virus scanner or another run of vindo might. The
   optional second argument says what the holder lets others do with the file
   meanwhile: "none" (the default), "read", "read-write" or "all" (deleting too); a third argument
   "mapped" also maps the whole file into memory and keeps the view, as a program that reads its
   settings through a mapping does (the file then can't be cut), or "appearing": it prints
   "waiting" and opens the file the moment it appears, as a scanner does with a new file. Prints
   "held" once the file is open, so that a test can wait for that line instead of sleeping. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  HANDLE file;
  HANDLE mapping = NULL;
  const void* view = NULL;
  DWORD sharing = 0;
  const char* mode = argc >= 3 ? argv[2] : "none";
  const int mapped = argc == 4 && strcmp(argv[3], "mapped") == 0;
  const int appearing = argc == 4 && strcmp(argv[3], "appearing") == 0;
  DWORD waited = 0;
  int known = strcmp(mode, "none") == 0;
  if (strcmp(mode, "read") == 0) {
    sharing = FILE_SHARE_READ;
    known = 1;
  } else if (strcmp(mode, "read-write") == 0) {
    sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    known = 1;
  } else if (strcmp(mode, "all") == 0) {
    sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    known = 1;
  }
  if (argc < 2 || argc > 4 || (argc == 4 && !mapped && !appearing) || !known) {
    fprintf(stderr, "usage: holdfile <path> [none|read|read-write|all] [mapped|appearing]\n");
    return 2;
  }
  if (appearing) {
    printf("waiting\n");
    fflush(stdout);
  }
  for (;;) {
    file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, sharing, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE || !appearing || waited >= 120000) break;
    Sleep(1);
    ++waited;
  }
  if (file != INVALID_HANDLE_VALUE && mapped) {
    mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    view = mapping != NULL ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : NULL;
  }
  if (file == INVALID_HANDLE_VALUE || (mapped && view == NULL)) {
    printf("failed %lu\n", (unsigned long)GetLastError());
    fflush(stdout);
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  while (getchar() != EOF) {
  }
  if (view != NULL) UnmapViewOfFile(view);
  if (mapping != NULL) CloseHandle(mapping);
  CloseHandle(file);
  return 0;
}
