// Plain loops that the compiler vectorises gain most from wide vectors; a function marked with
// VECTOR_CLONES is compiled twice, for the baseline processor and for AVX2, and the loader picks
// the version the processor runs. Clang cannot clone function templates, so its builds (the
// sanitizer and fuzz builds) keep the baseline version only.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VECTOR_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define VECTOR_CLONES
#endif
