// Lock annotations that clang's -Wthread-safety checks: which data a lock
// guards, which functions need it held, which take and release it. So "with
// the lock held" is a compile error to break, not a comment to misread.
// Other compilers see nothing.
#pragma once

#if defined(__clang__)
#define KORVO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KORVO_THREAD_ANNOTATION(x)
#endif

// On a struct: it is a lock.
#define CAPABILITY(kind) KORVO_THREAD_ANNOTATION(capability(kind))
// On a struct: it holds a lock from construction to destruction.
#define SCOPED_CAPABILITY KORVO_THREAD_ANNOTATION(scoped_lockable)
// On a variable: read or written only with the lock held.
#define GUARDED_BY(lock) KORVO_THREAD_ANNOTATION(guarded_by(lock))
// On a function: called only with the lock held, and leaves it held.
#define REQUIRES(...) KORVO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// On a function: takes the lock, which is not held when it is called.
#define ACQUIRE(...) KORVO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// On a function: releases the lock (a scoped holder's destructor: its own).
#define RELEASE(...) KORVO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// On a function: takes the lock itself, so it must not be called with it held.
#define EXCLUDES(...) KORVO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function whose safety rests on something the analysis cannot see;
// always with a comment saying what.
#define NO_THREAD_SAFETY_ANALYSIS KORVO_THREAD_ANNOTATION(no_thread_safety_analysis)
