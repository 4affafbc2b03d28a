#include "cli/driver.h"
#include "io/console.h"

int main(int argc, char** argv) {
  PrepareStandardStreams();
  return RunDriver(argc, argv);
}
