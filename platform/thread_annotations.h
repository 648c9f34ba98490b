// Clang's thread-safety attributes: which lock guards which field, which function needs
// which lock. Clang checks them with -Wthread-safety; other compilers see nothing.
#ifndef NVX_PLATFORM_THREAD_ANNOTATIONS_H_
#define NVX_PLATFORM_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define NVX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define NVX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) NVX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY NVX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) NVX_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) NVX_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) NVX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) NVX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) NVX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) NVX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS NVX_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif  // NVX_PLATFORM_THREAD_ANNOTATIONS_H_
