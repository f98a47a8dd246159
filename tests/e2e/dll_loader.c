/* Loads each DLL named on the command line by the ordinary search, with no
   restriction: shows that a planted DLL would be found. */
#include <windows.h>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) LoadLibraryA(argv[i]);
  return 0;
}
