// Per-step digests of a channel's state, for finding where two machines (or
// two builds) first diverge on the same scene. A step's digest covers every
// working array of "Object Data" at its full length, both render buffers and
// children 22 to 27, in seven parts; its chain digest covers the parts and
// the previous step's chain, so one differing step differs in every chain
// after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/vexa_channel.h"

namespace crumpletool {

enum DigestPart : int {
    kPositionsPart,
    kNormalsPart,
    kTexCoordsPart,   // sets 0, 1 and 2
    kColoursPart,
    kIndicesPart,
    kRenderPart,      // vertex buffer, then index buffer
    kChildrenPart,    // children 22 to 26, then 27
    kDigestParts
};

// The part's key in a digest line, and how a message names it.
const char* PartKey(int part);
const char* PartName(int part);

struct StepDigest {
    int step = 0;
    std::string name;
    uint64_t chain = 0;
    bool hasParts = false;
    uint64_t parts[kDigestParts] = {};
};

// The state of `channel` (a "Crumple" channel with its children) after step
// `step`, chained with the previous step's chain (0 before the first).
StepDigest DigestStep(Vexa_Channel& channel, int step, const std::string& name, uint64_t previousChain);

// One line, without its line end:
//   STEP chain=HEX positions=HEX normals=HEX texcoords=HEX colours=HEX indices=HEX render=HEX children=HEX name=NAME
// Without parts only chain and name follow the step number.
std::string FormatDigestLine(const StepDigest& digest);

// The header line every digest file starts with.
extern const char* const kDigestFileHeader;

// Every step of a digest file's text. Lines starting with '#' and empty
// lines are skipped. Throws InputError naming `source` and the line.
std::vector<StepDigest> ParseDigests(const std::string& text, const std::string& source);

// Where two runs first differ, as one line naming the step and, when both
// carry parts, what differs; empty when they agree step for step.
std::string FirstDifference(const std::vector<StepDigest>& a, const std::vector<StepDigest>& b,
                            const std::string& nameA, const std::string& nameB);

}  // namespace crumpletool
