#ifndef OLVIX_RUN_DRIVER_H_
#define OLVIX_RUN_DRIVER_H_

namespace olvix {

// The program: start-up, one command, shut-down. Returns the exit status
// for the runs that end without the shut-down (the help screen).
int RunMain(int argc, char** argv);

}  // namespace olvix

#endif  // OLVIX_RUN_DRIVER_H_
