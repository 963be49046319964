#pragma once

#include <sys/types.h>

namespace pellmarsh::bench {

// Time spent on a CPU, from the kernel scheduler's own account in
// /proc/.../schedstat (nanoseconds). getrusage and /proc/.../stat charge
// whole clock ticks to whatever thread a tick finds running, which on a
// nearly idle process can read several times the true figure.
double ProcessRunSeconds();  // every thread of this process
double ProcessRunSeconds(pid_t process);
double ThreadRunSeconds(pid_t thread);

}  // namespace pellmarsh::bench
