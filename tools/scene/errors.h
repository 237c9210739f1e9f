// The two kinds of failure the tool reports: bad input (scene, mesh, options,
// plug-in, channel file) and outputs that cannot be written. Each carries one
// line that names what is wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace crumpletool {

class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

class OutputError : public std::runtime_error {
public:
    explicit OutputError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace crumpletool
