// Creation of the working buffers; see working_buffers.h.
#include "mesh/working_buffers.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "mesh/array_remake.h"

namespace crumple {

namespace {

// A mesh with 16-bit indices cannot name a vertex beyond this many.
const int kMaxVertices16 = 65536;

// count as float, product in double, truncated toward zero. False when the
// product is not a number or too large for an int.
bool Capacity(int count, float factor, int* capacity) {
    const double product = static_cast<double>(static_cast<float>(count)) * static_cast<double>(factor);
    if (!(product <= static_cast<double>(INT_MAX))) return false;
    *capacity = static_cast<int>(product);
    return true;
}

// The first `count` entries of `array`; zeros where the object has no such array.
template <typename T>
std::vector<T> Save(const T* array, int count) {
    std::vector<T> saved(static_cast<size_t>(count), T());
    if (array != nullptr && count > 0) std::memcpy(saved.data(), array, saved.size() * sizeof(T));
    return saved;
}

template <typename T>
void Restore(T* array, const std::vector<T>& saved) {
    if (array != nullptr && !saved.empty()) std::memcpy(array, saved.data(), saved.size() * sizeof(T));
}

}  // namespace

// Below 1 the copied mesh would not fit; NaN fails the comparison too, so 0,
// negatives and NaN are all refused here.
bool UsableMultipliers(float vertexFactor, float indexFactor) { return vertexFactor >= 1.0f && indexFactor >= 1.0f; }

bool EnlargeWorkingMesh(Vexa_ObjectData* object, float vertexFactor, float indexFactor) {
    if (object == nullptr || !UsableMultipliers(vertexFactor, indexFactor)) return false;
    // The capacities are settled before anything changes, so a refusal
    // leaves the mesh untouched.
    const int vc = object->GetVertexCount();
    const int ic = object->GetIndexCount();
    int vcap = 0, icap = 0;
    if (!Capacity(vc, vertexFactor, &vcap) || !Capacity(ic, indexFactor, &icap)) return false;
    // No vertex number may wrap in a 16-bit index array.
    if (object->pIndices16 != nullptr && vcap > kMaxVertices16) vcap = std::max(vc, kMaxVertices16);
    // Counts beyond 2^24 lose bits as floats; never make room smaller than the mesh.
    if (vcap < vc || icap < ic) return false;
    // Nothing to enlarge, and the object's setters would write vertex 0 of an
    // empty array.
    if (vc == 0) return true;

    // Colours carry damage state; pure white would read as already marked.
    if (!object->HasVertexColors()) object->SetVertexColor(0xFFFFFFFFu, 0);
    if (object->pColors != nullptr) {
        for (int v = 0; v < vc; ++v)
            if (object->pColors[v] == 0xFFFFFFFFu) object->pColors[v] = 0xFF000000u;
    }
    if (!object->HasTexCoords(1)) object->SetVertexTexCoord(1, D3DXVECTOR2(0.0f, 0.0f), 0);

    const std::vector<D3DXVECTOR3> positions = Save(object->pPositions, vc);
    const std::vector<D3DXVECTOR3> normals = Save(object->pNormals, vc);
    const std::vector<D3DXVECTOR2> texCoords0 = Save(object->pTexCoords0, vc);
    const std::vector<D3DXVECTOR2> texCoords1 = Save(object->pTexCoords1, vc);
    const std::vector<unsigned int> colors = Save(object->pColors, vc);
    const bool hasTexCoords2 = object->HasTexCoords(2);
    const std::vector<D3DXVECTOR2> texCoords2 = hasTexCoords2 ? Save(object->pTexCoords2, vc) : std::vector<D3DXVECTOR2>();
    std::vector<int> indices(static_cast<size_t>(ic));
    for (int i = 0; i < ic; ++i) indices[static_cast<size_t>(i)] = object->GetIndex(i);

    object->ReleaseBuffers();
    object->SetVertexCount(vcap);
    // The arrays are remade at the new count; the pointers change.
    RemakeVertexArrays(object, 0xFFFFFFFFu);
    Restore(object->pPositions, positions);
    Restore(object->pNormals, normals);
    Restore(object->pTexCoords0, texCoords0);
    Restore(object->pTexCoords1, texCoords1);
    Restore(object->pColors, colors);
    if (hasTexCoords2) {
        object->SetVertexTexCoord(2, D3DXVECTOR2(0.0f, 0.0f), 0);
        Restore(object->pTexCoords2, texCoords2);
    }
    if (object->pPositions != nullptr)
        for (int v = vc; v < vcap; ++v) object->pPositions[v] = D3DXVECTOR3(0.0f, 0.0f, 0.0f);

    object->SetIndexCount(icap);
    // Spare triangles (1, 1, 1) are degenerate and draw nothing.
    for (int i = 0; i < ic; ++i) object->SetIndex(indices[static_cast<size_t>(i)], i);
    for (int i = ic; i < icap; ++i) object->SetIndex(1, i);
    return true;
}

}  // namespace crumple
