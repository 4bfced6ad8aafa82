// Runs a program the way the toss benchmarks compare them: started directly
// (no shell), output thrown away, timed from start to reaping, its CPU time
// taken from the kernel; or traced, counting the system calls it makes.
#ifndef OLVIX_BENCH_CHILD_PROCESS_H_
#define OLVIX_BENCH_CHILD_PROCESS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace olvix::bench {

struct ChildRun {
  int exit_status = -1;  // -1: did not start or was killed by a signal
  double wall_seconds = 0;
  double cpu_seconds = 0;  // user and system
};

// Runs `argv` (argv[0] is the program's path) with the benchmark's own
// environment plus `env` ("NAME=value"), standard output and error on
// /dev/null. False when it could not be started.
bool RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              ChildRun* run);

struct SyscallCount {
  int exit_status = -1;
  uint64_t total = 0;                  // system call entries
  std::map<long, uint64_t> by_number;  // entries per system call number
};

// Runs `argv` like RunChild under ptrace and counts every system call the
// process enters after its execve; children it starts are not followed.
// False when it could not be started or traced.
bool CountSystemCalls(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      SyscallCount* count);

// The name of a system call this machine numbers `number`, or "#number".
std::string SyscallName(long number);

// "name 12.3, name 4.5, ..." for the `top` most frequent calls, each divided
// by `per`; calls below 0.05 are left out.
std::string SyscallSummary(const SyscallCount& count, double per, int top);

}  // namespace olvix::bench

#endif  // OLVIX_BENCH_CHILD_PROCESS_H_
