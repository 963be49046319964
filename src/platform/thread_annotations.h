#pragma once

// Clang's thread-safety annotations (checked with -Wthread-safety); other
// compilers see nothing. A lock is a CAPABILITY, a guard object that holds it
// for a scope a SCOPED_CAPABILITY; data names the lock it needs with
// GUARDED_BY, functions with REQUIRES (held on entry), ACQUIRE and RELEASE
// (taken or let go inside) or EXCLUDES (must not be held).

#if defined(__clang__)
#define PELLMARSH_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PELLMARSH_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) PELLMARSH_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY PELLMARSH_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) PELLMARSH_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) PELLMARSH_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) PELLMARSH_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) PELLMARSH_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) PELLMARSH_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) PELLMARSH_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) PELLMARSH_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS PELLMARSH_THREAD_ANNOTATION(no_thread_safety_analysis)
