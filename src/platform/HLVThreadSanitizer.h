#pragma once

// Qt hands work between threads through its own locks (the event queue's, a
// semaphore's), and Qt is not built with ThreadSanitizer, so those hand-overs
// are invisible to it: everything written before a post and read after it
// reports as a race. Code that hands work over through Qt marks the two ends
// with these, on an address both ends know. They do nothing in other builds.
#if defined(__SANITIZE_THREAD__)
#define HLV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HLV_THREAD_SANITIZER 1
#endif
#endif

#ifdef HLV_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace HLVThreadSanitizer {

// On the handing thread, after the last write the receiver will read.
inline void handOver([[maybe_unused]] const void* address)
{
#ifdef HLV_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(address));
#endif
}

// On the receiving thread, before the first read.
inline void takeOver([[maybe_unused]] const void* address)
{
#ifdef HLV_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(address));
#endif
}

} // namespace HLVThreadSanitizer
