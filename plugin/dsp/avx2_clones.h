// SIRREL_AVX2_CLONES before a function compiles it twice on x86, once for AVX2, and the loader picks the copy the
// processor runs. Only for loops whose values do not depend on the vector width: AVX2 alone brings no fused
// multiply-add, so every operation rounds as before.
#pragma once

// ThreadSanitizer's run-time is not yet set up when the loader runs the copies' resolvers, so its builds take the
// default copy alone.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__SANITIZE_THREAD__)
#define SIRREL_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define SIRREL_AVX2_CLONES
#endif
