// Floating-point modes a host may leave set when it calls the plug-in, for
// tests that the plug-in's results do not depend on them.
#pragma once

#include <cstdint>

enum class HostFloatMode {
    kDefault,
    kTowardZero,
    kUpward,
    kDownward,
    kFlushToZero,
    kDenormalsAreZero,
    kFlushAndDenormalsAreZero,
    // 24-bit x87 precision control, as some engines set it; 32-bit x86 only.
    kX87Single,
};

const char* Name(HostFloatMode mode);

// Puts the processor into `mode` (kDefault: the C runtime's start-up mode).
// False, with nothing changed, when this processor has no such mode.
bool SetHostFloatMode(HostFloatMode mode);

// Every control and status bit of the floating-point unit, for before/after
// comparisons.
uint64_t ReadFloatState();

// Sets a mode for the life of the scope and puts the default back after.
class HostFloatModeScope {
public:
    explicit HostFloatModeScope(HostFloatMode mode) : active_(SetHostFloatMode(mode)) {}
    ~HostFloatModeScope() { SetHostFloatMode(HostFloatMode::kDefault); }
    HostFloatModeScope(const HostFloatModeScope&) = delete;
    HostFloatModeScope& operator=(const HostFloatModeScope&) = delete;
    bool active() const { return active_; }

private:
    bool active_;
};
