// The entry point of the console program.
#include "driver/run.h"

int main(int argc, char** argv) { return run(argc, argv); }
