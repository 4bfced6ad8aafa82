#include "run/driver.h"

int main(int argc, char** argv) { return olvix::RunMain(argc, argv); }
