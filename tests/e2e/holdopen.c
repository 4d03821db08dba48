/* Holds a file open for reading and writing without sharing it with anyone,
   as another program may do with a host catalogue. Prints "ready" once the
   file is open, then waits the given milliseconds (or until killed).
   Usage: holdopen <path> <milliseconds> */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE h = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    printf("cannot open: %lu\n", GetLastError());
    return 1;
  }
  printf("ready\n");
  fflush(stdout);
  Sleep((DWORD)atol(argv[2]));
  CloseHandle(h);
  return 0;
}
