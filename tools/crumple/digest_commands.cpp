// `crumple compare-digests`: where two runs of a scene first part ways.
#include <fstream>
#include <ostream>
#include <sstream>

#include "commands.h"
#include "errors.h"
#include "step_digest.h"

namespace crumpletool {

namespace {

std::vector<StepDigest> ReadDigestFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw InputError("cannot read '" + path + "'");
    std::ostringstream text;
    text << file.rdbuf();
    const std::string content = text.str();
    if (content.compare(0, std::string(kDigestFileHeader).size(), kDigestFileHeader) != 0)
        throw InputError(path + ": not a step digest file (it must start with \"" + kDigestFileHeader + "\")");
    return ParseDigests(content, path);
}

}  // namespace

int CompareDigestFiles(const std::string& a, const std::string& b, std::ostream& out) {
    const std::vector<StepDigest> first = ReadDigestFile(a), second = ReadDigestFile(b);
    const std::string difference = FirstDifference(first, second, a, b);
    if (difference.empty()) {
        out << "same: " << first.size() << " steps";
        if (!first.empty()) {
            const std::string last = FormatDigestLine(first.back());
            out << ", last " << last.substr(0, last.find(' ', last.find("chain=")));
        }
        out << "\n";
        return 0;
    }
    out << difference << "\n";
    return 1;
}

}  // namespace crumpletool
