#include "host_float_mode.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define HOST_MODE_MXCSR 1
#endif
#if defined(__i386__) && !defined(_M_X64)
#define HOST_MODE_X87 1
#endif
#if defined(__aarch64__)
#define HOST_MODE_FPCR 1
#endif

const char* Name(HostFloatMode mode) {
    switch (mode) {
        case HostFloatMode::kDefault: return "default";
        case HostFloatMode::kTowardZero: return "toward zero";
        case HostFloatMode::kUpward: return "upward";
        case HostFloatMode::kDownward: return "downward";
        case HostFloatMode::kFlushToZero: return "flush to zero";
        case HostFloatMode::kDenormalsAreZero: return "denormals are zero";
        case HostFloatMode::kFlushAndDenormalsAreZero: return "flush to zero and denormals are zero";
        case HostFloatMode::kX87Single: return "x87 single precision";
    }
    return "?";
}

bool SetHostFloatMode(HostFloatMode mode) {
#if HOST_MODE_MXCSR
    // MXCSR: rounding in bits 13-14, FTZ bit 15, DAZ bit 6, masks 0x1F80.
    unsigned int csr = 0x1F80u;
    switch (mode) {
        case HostFloatMode::kTowardZero: csr |= 0x6000u; break;
        case HostFloatMode::kUpward: csr |= 0x4000u; break;
        case HostFloatMode::kDownward: csr |= 0x2000u; break;
        case HostFloatMode::kFlushToZero: csr |= 0x8000u; break;
        case HostFloatMode::kDenormalsAreZero: csr |= 0x0040u; break;
        case HostFloatMode::kFlushAndDenormalsAreZero: csr |= 0x8040u; break;
        case HostFloatMode::kX87Single:
#if !HOST_MODE_X87
            return false;
#endif
            break;
        case HostFloatMode::kDefault: break;
    }
    _mm_setcsr(csr);
#if HOST_MODE_X87
    // x87: precision in bits 8-9, rounding in bits 10-11; 0x037F at start-up.
    uint16_t cw = 0x037F;
    if (mode == HostFloatMode::kX87Single) cw = 0x007F;
    if (mode == HostFloatMode::kTowardZero) cw |= 0x0C00;
    if (mode == HostFloatMode::kUpward) cw |= 0x0800;
    if (mode == HostFloatMode::kDownward) cw |= 0x0400;
    __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
#endif
    return true;
#elif HOST_MODE_FPCR
    // FPCR: rounding in bits 22-23, FZ bit 24 (flushes inputs and results
    // alike, so it stands for both x86 modes).
    uint64_t fpcr = 0;
    switch (mode) {
        case HostFloatMode::kTowardZero: fpcr = 3ull << 22; break;
        case HostFloatMode::kUpward: fpcr = 1ull << 22; break;
        case HostFloatMode::kDownward: fpcr = 2ull << 22; break;
        case HostFloatMode::kFlushToZero:
        case HostFloatMode::kDenormalsAreZero:
        case HostFloatMode::kFlushAndDenormalsAreZero: fpcr = 1ull << 24; break;
        case HostFloatMode::kX87Single: return false;
        case HostFloatMode::kDefault: break;
    }
    __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr) : "memory");
    return true;
#else
    return mode == HostFloatMode::kDefault;
#endif
}

uint64_t ReadFloatState() {
    uint64_t state = 0;
#if HOST_MODE_MXCSR
    state = _mm_getcsr();
#endif
#if HOST_MODE_X87
    uint16_t cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    state |= static_cast<uint64_t>(cw) << 32;
#endif
#if HOST_MODE_FPCR
    uint64_t fpcr = 0, fpsr = 0;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
    __asm__ __volatile__("mrs %0, fpsr" : "=r"(fpsr));
    state = (fpsr << 32) | (fpcr & 0xFFFFFFFFull);
#endif
    return state;
}
