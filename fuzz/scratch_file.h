// Inputs for code that reads from a path: each goes into a folder of its own
// (one per process), emptied first so that nothing a previous input left
// there can be read beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace crumplefuzz {

// Reads: nothing. Writes: the process's scratch folder, emptied, then `name`
// in it holding the `size` bytes. Returns the file's path. A file that
// cannot be written is a fault of the machine, not a finding: aborts.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The process's scratch folder (made on first use).
std::string ScratchFolder();

}  // namespace crumplefuzz
