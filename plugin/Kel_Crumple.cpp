// The channel object: its constants, the description of its 29 children, its
// copy and lifetime, and the persistence it leaves to the base.
#include "plugin/Kel_Crumple.h"

#include "damage/hole_pass.h"

#include "plugin/children.h"

// Defined out of class so that they are exported as data.
const int Kel_Crumple::iDefaultChangedVertexes = 500;
const int Kel_Crumple::iDefaultNewVertexes = 500;
const int Kel_Crumple::iDefaultVertexInRange = 500;
const int Kel_Crumple::iDefaultNewIndexes = 1500;
const int Kel_Crumple::iDefaultIndexesInRange = 1500;
const int Kel_Crumple::iMassShore = 3000000;
const int Kel_Crumple::iDefaultImpactDivider = 5000;

namespace {

struct ChildDescription {
    const char* name;
    const char* typeName;
    const GUID* type;
};

// In child order; the host creates the children from these, so order, names
// and types are part of the channel's interface.
const ChildDescription kChildren[crumple::kChildCount] = {
    {"Collision position", VEXA_TYPE_VALUE_VECTOR, &kGuidValueVector},
    {"Collision normal", VEXA_TYPE_VALUE_VECTOR, &kGuidValueVector},
    {"Object Data", VEXA_TYPE_OBJECT_DATA, &kGuidObjectData},
    {"Mass Body 1", VEXA_TYPE_VALUE, &kGuidValue},
    {"Mass Body 2", VEXA_TYPE_VALUE, &kGuidValue},
    {"Max Impact Speed", VEXA_TYPE_VALUE, &kGuidValue},
    {"Apply Dents? (0/1)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Apply Alpha Damage? (0/1)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Apply Holes? (0/1)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Number of passes (0-2)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Impact factor", VEXA_TYPE_VALUE, &kGuidValue},
    {"Impact radius factor", VEXA_TYPE_VALUE, &kGuidValue},
    {"Dent radius factor", VEXA_TYPE_VALUE, &kGuidValue},
    {"Dent factor", VEXA_TYPE_VALUE, &kGuidValue},
    {"Dent angle (0-1)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Max dent", VEXA_TYPE_VALUE, &kGuidValue},
    {"Vertex multiplier", VEXA_TYPE_VALUE, &kGuidValue},
    {"Index multiplier", VEXA_TYPE_VALUE, &kGuidValue},
    {"Alpha damage value (0-255)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Min triangle size", VEXA_TYPE_VALUE, &kGuidValue},
    {"Hole treshold", VEXA_TYPE_VALUE, &kGuidValue},
    {"Min red value (0-255)", VEXA_TYPE_VALUE, &kGuidValue},
    {"Current vertexes used", VEXA_TYPE_VALUE, &kGuidValue},
    {"Current indexes used", VEXA_TYPE_VALUE, &kGuidValue},
    {"Cumulative Collision Impact", VEXA_TYPE_VALUE, &kGuidValue},
    {"Cumulative holes under water", VEXA_TYPE_VALUE, &kGuidValue},
    {"Collision radius - debug", VEXA_TYPE_VALUE, &kGuidValue},
    {"New collision position - debug", VEXA_TYPE_VALUE_VECTOR, &kGuidValueVector},
    {"Original Object Data - debug", VEXA_TYPE_OBJECT_DATA, &kGuidObjectData},
};

// Copies `text` with its terminator and leaves the bytes behind it as they
// are: the record is reused from child to child and only rewritten in front.
template <size_t N>
void CopyWithTerminator(char (&field)[N], const char* text) {
    size_t i = 0;
    for (; i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
    field[i] = '\0';
}

}  // namespace

// Writes: the channel name and the 29 child descriptions, through the base.
// Sets no child value and checks no result; the host makes the children later.
Kel_Crumple::Kel_Crumple() : Vexa_Channel() {
    SetChannelName("Crumple");
    ChildCreation record;
    SetChildCreationCount(1);
    for (int index = 0; index < crumple::kChildCount; ++index) {
        const ChildDescription& child = kChildren[index];
        CopyWithTerminator(record.channelType.szName, child.typeName);
        record.channelType.guidType = *child.type;
        record.iChildIndex = index;
        record.bFlag2 = true;
        CopyWithTerminator(record.szChildName, child.name);
        SetChildCreateType(record, index);
    }
}

// Member-wise in declaration order: pObjectData still names the source's
// child until this copy's own next pass replaces it, and the lookup table is
// a deep copy. Members are released in reverse order, the lookup table's
// inner vectors before its own storage, then the base.
Kel_Crumple::Kel_Crumple(const Kel_Crumple& other) = default;
Kel_Crumple& Kel_Crumple::operator=(const Kel_Crumple& other) = default;
Kel_Crumple::~Kel_Crumple() = default;

crumple::KeptState::KeptState() = default;
crumple::KeptState::KeptState(const KeptState& other)
    : verticesUsed(other.verticesUsed), indicesUsed(other.indicesUsed) {}
crumple::KeptState& crumple::KeptState::operator=(const KeptState& other) {
    verticesUsed = other.verticesUsed;
    indicesUsed = other.indicesUsed;
    return *this;
}
crumple::KeptState::~KeptState() = default;

// The channel keeps nothing that outlives a pass, so the base's verdict is all.
bool Kel_Crumple::SaveChannel(VexaFileSaver& saver) { return Vexa_Channel::SaveChannel(saver); }

bool Kel_Crumple::LoadChannel(VexaFileLoader& loader, Vexa_ChannelGroup* group) {
    return Vexa_Channel::LoadChannel(loader, group);
}

// No dependencies beyond the children, which the host already knows.
void Kel_Crumple::DoDependencyInit(Vexa_List* /*list*/) {}
