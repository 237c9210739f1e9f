// What the mesh-file checks share: names as Assimp matches them, and the
// one-line refusal they all give.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

#include "errors.h"

namespace crumpletool {

[[noreturn]] inline void Refuse(const std::string& what, const std::string& problem) {
    throw InputError(what + ": " + problem);
}

inline std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Assimp picks a reader by the file name's ending, in any case.
inline bool HasExtension(const std::string& path, const std::string& extension) {
    return path.size() >= extension.size() && Lower(path.substr(path.size() - extension.size())) == extension;
}

}  // namespace crumpletool
