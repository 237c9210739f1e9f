// The floating-point mode the channel computes in, whatever the host left
// set: round to nearest, subnormals kept (no flush-to-zero, no
// denormals-are-zero), every exception masked. A guard at each entry the host
// calls sets it and gives the host its own mode back on every way out.
#pragma once

#include <cstdint>

#if defined(__SSE__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1)
#include <xmmintrin.h>
#define CRUMPLE_FLOAT_MODE_MXCSR 1
#endif
#if (defined(__i386__) || defined(_M_IX86)) && !defined(_M_X64)
#if defined(_MSC_VER) && !defined(__clang__)
#include <float.h>
#endif
#define CRUMPLE_FLOAT_MODE_X87 1
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define CRUMPLE_FLOAT_MODE_FPCR 1
#endif
#if !defined(CRUMPLE_FLOAT_MODE_MXCSR) && !defined(CRUMPLE_FLOAT_MODE_FPCR)
#include <cfenv>
#endif

namespace crumple {

class FloatModeGuard {
public:
    FloatModeGuard() {
#if CRUMPLE_FLOAT_MODE_MXCSR
        // All six exceptions masked, round to nearest, FTZ and DAZ off; the
        // host's sticky flags come back with its mode.
        mxcsr_ = _mm_getcsr();
        _mm_setcsr(0x1F80u);
#endif
#if CRUMPLE_FLOAT_MODE_X87
        // Precision control at 53 bits: anything the x87 unit still computes
        // (library calls, float returns) rounds as SSE2 double arithmetic
        // does, and a float result rounded from it is the SSE2 float result.
        // Round to nearest, all exceptions masked.
#if defined(_MSC_VER) && !defined(__clang__)
        x87_ = _control87(0, 0);
        _control87(_PC_53 | _RC_NEAR | _MCW_EM, _MCW_PC | _MCW_RC | _MCW_EM);
#else
        __asm__ __volatile__("fnstcw %0" : "=m"(x87_));
        const uint16_t ours = 0x027F;
        __asm__ __volatile__("fldcw %0" : : "m"(ours) : "memory");
#endif
#endif
#if CRUMPLE_FLOAT_MODE_FPCR
        // FPCR 0: round to nearest, no flush-to-zero, NaNs propagated rather
        // than replaced by the default NaN, no exception traps.
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr_));
        __asm__ __volatile__("mrs %0, fpsr" : "=r"(fpsr_));
        __asm__ __volatile__("msr fpcr, %0" : : "r"(uint64_t{0}) : "memory");
#endif
#if !defined(CRUMPLE_FLOAT_MODE_MXCSR) && !defined(CRUMPLE_FLOAT_MODE_FPCR)
        std::fegetenv(&env_);
        std::fesetround(FE_TONEAREST);
#endif
    }

    ~FloatModeGuard() {
#if CRUMPLE_FLOAT_MODE_FPCR
        __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr_) : "memory");
        __asm__ __volatile__("msr fpsr, %0" : : "r"(fpsr_) : "memory");
#endif
#if CRUMPLE_FLOAT_MODE_X87
#if defined(_MSC_VER) && !defined(__clang__)
        _control87(x87_, 0xFFFFFFFFu);
#else
        __asm__ __volatile__("fldcw %0" : : "m"(x87_) : "memory");
#endif
#endif
#if CRUMPLE_FLOAT_MODE_MXCSR
        _mm_setcsr(mxcsr_);
#endif
#if !defined(CRUMPLE_FLOAT_MODE_MXCSR) && !defined(CRUMPLE_FLOAT_MODE_FPCR)
        std::fesetenv(&env_);
#endif
    }

    FloatModeGuard(const FloatModeGuard&) = delete;
    FloatModeGuard& operator=(const FloatModeGuard&) = delete;

private:
#if CRUMPLE_FLOAT_MODE_MXCSR
    unsigned int mxcsr_;
#endif
#if CRUMPLE_FLOAT_MODE_X87
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned int x87_;
#else
    uint16_t x87_;
#endif
#endif
#if CRUMPLE_FLOAT_MODE_FPCR
    uint64_t fpcr_;
    uint64_t fpsr_;
#endif
#if !defined(CRUMPLE_FLOAT_MODE_MXCSR) && !defined(CRUMPLE_FLOAT_MODE_FPCR)
    std::fenv_t env_;
#endif
};

}  // namespace crumple
