/* The floor of a vindo run under Wine: what the run must do to the disk and nothing
   else, in a program that starts up like any other. Reads the settings file (argv[1])
   twice into one buffer sized from it, then writes it to the backup (argv[2]), to the
   settings file and to the backup again, each write flushed. With /replace before
   the files, each write goes into a new file beside its target, which is flushed and
   then moved over the target, as a durable replacement needs; without it, over the
   target in place. scripts/bench weighs vindo's whole run against this program's.
   Exit code 0, or 1 when a step failed. */
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int ReadInto(const char* path, char* buffer, DWORD size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  DWORD got = 0;
  int done;
  if (file == INVALID_HANDLE_VALUE) return 0;
  done = ReadFile(file, buffer, size, &got, NULL) && got == size;
  return CloseHandle(file) && done;
}

static int WriteFlushed(const char* path, const char* buffer, DWORD size) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD written = 0;
  int done;
  if (file == INVALID_HANDLE_VALUE) return 0;
  done = WriteFile(file, buffer, size, &written, NULL) && written == size && FlushFileBuffers(file);
  return CloseHandle(file) && done;
}

static int ReplaceFlushed(const char* path, const char* buffer, DWORD size) {
  static const char kEnd[] = ".floor";
  char temporary[MAX_PATH + sizeof kEnd];
  if (strlen(path) >= MAX_PATH) return 0;
  strcpy(temporary, path);
  strcat(temporary, kEnd);
  return WriteFlushed(temporary, buffer, size) &&
         MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int main(int argc, char** argv) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  DWORD size;
  char* buffer;
  int done;
  int (*write)(const char*, const char*, DWORD) = WriteFlushed;
  if (argc == 4 && strcmp(argv[1], "/replace") == 0) {
    write = ReplaceFlushed;
    --argc;
    ++argv;
  }
  if (argc != 3 || !GetFileAttributesExA(argv[1], GetFileExInfoStandard, &data) ||
      data.nFileSizeHigh != 0) {
    return 1;
  }
  size = data.nFileSizeLow;
  buffer = (char*)malloc(size + 1);
  if (buffer == NULL) return 1;
  done = ReadInto(argv[1], buffer, size) && ReadInto(argv[1], buffer, size) &&
         write(argv[2], buffer, size) && write(argv[1], buffer, size) &&
         write(argv[2], buffer, size);
  free(buffer);
  return done ? 0 : 1;
}
