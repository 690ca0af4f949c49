// Recursive lock. The entry count equals the holder's recursion depth: other threads only ever move it from
// 0 to 1, so the holder knows its last Leave and clears the owner before letting go. A thread that has just
// left can therefore never pass as the owner while another thread takes the lock.

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "orurt.h"

namespace {

uint32_t currentThreadId()
{
    thread_local const uint32_t id = static_cast<uint32_t>(syscall(SYS_gettid));
    return id;
}

} // namespace

OruThreadExclusion *OruThreadExclusion_Construct(OruThreadExclusion *x)
{
    if (!x)
        x = static_cast<OruThreadExclusion *>(MemoryAlloc(sizeof(OruThreadExclusion)));
    if (x) {
        __atomic_store_n(&x->EntryCount, 0, __ATOMIC_SEQ_CST);
        __atomic_store_n(&x->Owner, 0u, __ATOMIC_SEQ_CST);
    }
    return x;
}

void OruThreadExclusion_Destruct(OruThreadExclusion *x, uint32_t flags)
{
    if (x && (flags & 1))
        MemoryFree(x);
}

void OruThreadExclusion_Enter(OruThreadExclusion *x)
{
    const uint32_t self = currentThreadId();
    if (__atomic_load_n(&x->Owner, __ATOMIC_ACQUIRE) == self) {
        __atomic_add_fetch(&x->EntryCount, 1, __ATOMIC_ACQ_REL);
        return;
    }
    for (;;) {
        int32_t expected = 0;
        if (__atomic_compare_exchange_n(&x->EntryCount, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
            __atomic_store_n(&x->Owner, self, __ATOMIC_RELEASE);
            return;
        }
        timespec ts{0, 1000000};
        nanosleep(&ts, nullptr);
    }
}

void OruThreadExclusion_Leave(OruThreadExclusion *x)
{
    // An unmatched Leave, or one from a thread that does not hold the lock, must not break it for the holder.
    if (__atomic_load_n(&x->Owner, __ATOMIC_ACQUIRE) != currentThreadId())
        return;
    if (__atomic_load_n(&x->EntryCount, __ATOMIC_ACQUIRE) == 1)
        __atomic_store_n(&x->Owner, 0u, __ATOMIC_RELEASE);
    __atomic_sub_fetch(&x->EntryCount, 1, __ATOMIC_ACQ_REL);
}
