// Writes the process's command line, as the Environment port joins it, to the
// file named by its first argument.
#include <fstream>

#include "platform/system.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ofstream(argv[1], std::ios::binary) << platform::nativeSystem().environment.commandLine();
  return 0;
}
