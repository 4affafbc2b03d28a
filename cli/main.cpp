#include "io/console.h"
#include "cli/driver.h"

int main(int argc, char** argv) {
  PrepareStandardStreams();
  return RunDriver(argc, argv);
}
