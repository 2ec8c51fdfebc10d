#include "platform/system.h"
#include "uploader/program.h"

int main(int argc, char**) {
  // The system passes the arguments apart from the program name; none at all
  // is what an empty argument text is on Windows.
  return uploader::RunProgram(platform::nativeSystem(), argc > 1);
}
