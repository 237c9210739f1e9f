// The vertices inside the impact sphere; see vertex_range_search.h.
#include "damage/vertex_range_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mesh/sse2.h"
#include "mesh/vector_math.h"

namespace crumple {

void FindVerticesInSphere(const MeshView& mesh, D3DXVECTOR3 centre, float radius, std::vector<int>* list) {
    if (mesh.vertexCapacity == 0 || !mesh.positions) return;
    const double r2 = static_cast<double>(radius) * radius;
    const int used = std::min(mesh.verticesUsed, mesh.vertexCapacity);
    // Blocks of distances first, then the few vertices inside are picked out
    // in order.
    constexpr int kBlock = 64;
    float squared[kBlock];
    // s < r2 for a float s holds exactly when s is below the least float not
    // below r2, which keeps the comparison in floats.
    float limit = static_cast<float>(r2);
    if (static_cast<double>(limit) < r2) limit = std::nextafter(limit, std::numeric_limits<float>::infinity());
    for (int first = 0; first < used; first += kBlock) {
        const int n = std::min(kBlock, used - first);
        const D3DXVECTOR3* p = mesh.positions + first;
        int any = 0;
        int k = 0;
#if CRUMPLE_SSE2
        // Four vertices at a time, with the float steps of SquaredDistance in
        // the same order.
        const __m128 cx = _mm_set1_ps(centre.x), cy = _mm_set1_ps(centre.y), cz = _mm_set1_ps(centre.z);
        const __m128 bound = _mm_set1_ps(limit);
        for (; k + 4 <= n; k += 4) {
            // Four packed vertices are three loads, taken apart by axis.
            const float* f = &p[k].x;
            const __m128 a = _mm_loadu_ps(f), b = _mm_loadu_ps(f + 4), c = _mm_loadu_ps(f + 8);
            // a = x0 y0 z0 x1, b = y1 z1 x2 y2, c = z2 x3 y3 z3
            const __m128 x2y2x3y3 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));
            const __m128 y0z0y1z1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 2, 1));
            const __m128 x = _mm_sub_ps(_mm_shuffle_ps(a, x2y2x3y3, _MM_SHUFFLE(2, 0, 3, 0)), cx);
            const __m128 y = _mm_sub_ps(_mm_shuffle_ps(y0z0y1z1, x2y2x3y3, _MM_SHUFFLE(3, 1, 2, 0)), cy);
            const __m128 z = _mm_sub_ps(_mm_shuffle_ps(y0z0y1z1, c, _MM_SHUFFLE(3, 0, 3, 1)), cz);
            const __m128 s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z));
            _mm_storeu_ps(squared + k, s);
            any |= _mm_movemask_ps(_mm_cmplt_ps(s, bound));
        }
#endif
        for (int j = k; j < n; ++j) squared[j] = SquaredDistance(p[j], centre);
        for (int j = k; j < n; ++j) any |= squared[j] < limit;
        if (!any) continue;
        for (int k = 0; k < n; ++k)
            if (squared[k] < limit) list->push_back(first + k);
    }
}

}  // namespace crumple
