#include "step_digest.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "errors.h"
#include "fnv1a.h"
#include "host/object_data.h"
#include "plugin/children.h"

namespace crumpletool {

using namespace crumple;

namespace {

const char* const kPartKeys[kDigestParts] = {"positions", "normals", "texcoords", "colours",
                                             "indices",   "render",  "children"};
const char* const kPartNames[kDigestParts] = {"positions", "normals", "texture coordinates", "colours",
                                              "indices",   "render buffers", "children 22 to 27"};

void FeedBuffer(Fnv1a64& hash, const RenderBufferMemory* buffer) {
    hash.FeedArray(buffer ? buffer->Data() : nullptr, buffer ? static_cast<int>(buffer->GetSize()) : 0);
}

std::string Hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

bool ParseHex(const std::string& text, uint64_t* value) {
    if (text.size() != 16) return false;
    uint64_t v = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<uint64_t>(d);
    }
    *value = v;
    return true;
}

}  // namespace

const char* const kDigestFileHeader = "# crumple step digests 1";

const char* PartKey(int part) { return part >= 0 && part < kDigestParts ? kPartKeys[part] : "?"; }
const char* PartName(int part) { return part >= 0 && part < kDigestParts ? kPartNames[part] : "?"; }

StepDigest DigestStep(Vexa_Channel& channel, int step, const std::string& name, uint64_t previousChain) {
    StepDigest digest;
    digest.step = step;
    digest.name = name;
    digest.hasParts = true;
    Fnv1a64 parts[kDigestParts];
    if (Vexa_ObjectData* o = ObjectChild(&channel, kObjectData)) {
        parts[kPositionsPart].FeedArray(o->pPositions, o->PositionsLength());
        parts[kNormalsPart].FeedArray(o->pNormals, o->NormalsLength());
        for (int set = 0; set < 3; ++set) {
            const D3DXVECTOR2* array[3] = {o->pTexCoords0, o->pTexCoords1, o->pTexCoords2};
            parts[kTexCoordsPart].FeedArray(array[set], o->TexCoordsLength(set));
        }
        parts[kColoursPart].FeedArray(o->pColors, o->ColorsLength());
        parts[kIndicesPart].FeedArray(o->pIndices16, o->IndexArrayLength());
        parts[kIndicesPart].FeedArray(o->pIndices32, o->IndexArrayLength());
        FeedBuffer(parts[kRenderPart], o->CurrentVertexBuffer());
        FeedBuffer(parts[kRenderPart], o->CurrentIndexBuffer());
    }
    for (int child = kVertexesUsed; child <= kCollisionRadius; ++child) {
        Vexa_Value* value = ValueChild(&channel, child);
        const float v = value ? value->GetValue() : 0.0f;
        parts[kChildrenPart].Feed(&v, sizeof v);
    }
    Vexa_ValueVector* moved = VectorChild(&channel, kNewCollisionPosition);
    const D3DXVECTOR3 position = moved ? moved->GetValue() : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    parts[kChildrenPart].Feed(&position, sizeof position);

    Fnv1a64 chain;
    chain.Feed(&previousChain, sizeof previousChain);
    for (int part = 0; part < kDigestParts; ++part) {
        digest.parts[part] = parts[part].value();
        chain.Feed(&digest.parts[part], sizeof digest.parts[part]);
    }
    digest.chain = chain.value();
    return digest;
}

std::string FormatDigestLine(const StepDigest& digest) {
    std::string line = std::to_string(digest.step) + " chain=" + Hex(digest.chain);
    if (digest.hasParts)
        for (int part = 0; part < kDigestParts; ++part) line += std::string(" ") + kPartKeys[part] + "=" + Hex(digest.parts[part]);
    return line + " name=" + digest.name;
}

std::vector<StepDigest> ParseDigests(const std::string& text, const std::string& source) {
    std::vector<StepDigest> steps;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto fail = [&](const std::string& what) -> void {
            throw InputError(source + ": line " + std::to_string(number) + ": " + what);
        };
        const size_t nameAt = line.find(" name=");
        if (nameAt == std::string::npos) fail("no name=");
        StepDigest digest;
        digest.name = line.substr(nameAt + 6);
        std::istringstream fields(line.substr(0, nameAt));
        std::string field;
        if (!(fields >> field) || field.find_first_not_of("0123456789") != std::string::npos || field.size() > 9)
            fail("expected a step number first");
        digest.step = std::stoi(field);
        bool chain = false, seen[kDigestParts] = {};
        int partCount = 0;
        while (fields >> field) {
            const size_t eq = field.find('=');
            const std::string key = field.substr(0, eq == std::string::npos ? 0 : eq);
            uint64_t value = 0;
            if (eq == std::string::npos || !ParseHex(field.substr(eq + 1), &value))
                fail("'" + field + "' is not KEY=16 hex digits");
            if (key == "chain") {
                if (chain) fail("chain given twice");
                chain = true;
                digest.chain = value;
                continue;
            }
            int part = 0;
            while (part < kDigestParts && key != kPartKeys[part]) ++part;
            if (part == kDigestParts) fail("unknown key '" + key + "'");
            if (seen[part]) fail(key + " given twice");
            seen[part] = true;
            ++partCount;
            digest.parts[part] = value;
        }
        if (!chain) fail("no chain=");
        if (partCount != 0 && partCount != kDigestParts) fail("some parts are missing");
        digest.hasParts = partCount == kDigestParts;
        if (!steps.empty() && digest.step != steps.back().step + 1) fail("steps are not consecutive");
        steps.push_back(digest);
    }
    return steps;
}

std::string FirstDifference(const std::vector<StepDigest>& a, const std::vector<StepDigest>& b,
                            const std::string& nameA, const std::string& nameB) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const StepDigest &x = a[i], &y = b[i];
        const std::string where = "step " + std::to_string(x.step) + " (\"" + x.name + "\")";
        if (x.step != y.step || x.name != y.name)
            return "step " + std::to_string(x.step) + " \"" + x.name + "\" in " + nameA + " is step " +
                   std::to_string(y.step) + " \"" + y.name + "\" in " + nameB + ": not the same scene";
        if (x.chain == y.chain) continue;
        if (!x.hasParts || !y.hasParts) return "first difference at " + where + " (no per-part digests to say what)";
        std::string parts;
        for (int part = 0; part < kDigestParts; ++part)
            if (x.parts[part] != y.parts[part]) parts += (parts.empty() ? "" : ", ") + std::string(kPartNames[part]);
        // Equal parts under different chains: the files were not chained alike.
        if (parts.empty()) parts = "the chains, though every part agrees";
        return "first difference at " + where + ": " + parts;
    }
    if (a.size() != b.size()) {
        const bool aLonger = a.size() > b.size();
        const std::vector<StepDigest>& shorter = aLonger ? b : a;
        return (aLonger ? nameB : nameA) + " ends " +
               (shorter.empty() ? std::string("before step 0") : "after step " + std::to_string(shorter.back().step)) +
               ", " + (aLonger ? nameA : nameB) + " goes on to step " +
               std::to_string((aLonger ? a : b).back().step);
    }
    return "";
}

}  // namespace crumpletool
