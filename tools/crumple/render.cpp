// Offscreen rendering with OSMesa: the vertex records go into one vertex
// buffer object as they are, read by attribute pointers at the record's
// offsets, and the index buffer is drawn whole, spare degenerate triangles
// included, as the engine would.
#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include "errors.h"

namespace crumpletool {

const uint8_t kBackground[3] = {34, 38, 46};

namespace {

constexpr int kSupersample = 2;

struct Vec {
    double x, y, z;
};
Vec V(const D3DXVECTOR3& v) { return {v.x, v.y, v.z}; }
Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Scale(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec Normalize(Vec a) {
    const double length = std::sqrt(Dot(a, a));
    return length > 0.0 ? Scale(a, 1.0 / length) : a;
}
D3DXVECTOR3 F(Vec v) { return D3DXVECTOR3(float(v.x), float(v.y), float(v.z)); }

// Column-major 4x4, as OpenGL takes it.
struct Mat {
    double m[16];
};

Mat Multiply(const Mat& a, const Mat& b) {
    Mat r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = sum;
        }
    return r;
}

Mat ViewProjection(const Camera& camera, double aspect) {
    const Vec eye = V(camera.eye);
    const Vec f = Normalize(Sub(V(camera.target), eye));
    const Vec s = Normalize(Cross(f, V(camera.up)));
    const Vec u = Cross(s, f);
    const Mat view = {{s.x, u.x, -f.x, 0.0, s.y, u.y, -f.y, 0.0, s.z, u.z, -f.z, 0.0, -Dot(s, eye), -Dot(u, eye),
                       Dot(f, eye), 1.0}};
    const double t = 1.0 / std::tan(camera.fovY / 2.0);
    const double n = camera.nearZ, far = camera.farZ;
    const Mat projection = {{t / aspect, 0.0, 0.0, 0.0, 0.0, t, 0.0, 0.0, 0.0, 0.0, (far + n) / (n - far), -1.0, 0.0,
                             0.0, 2.0 * far * n / (n - far), 0.0}};
    return Multiply(projection, view);
}

Vec Place(const D3DXVECTOR3& p, const D3DXMATRIX& w) {
    return {double(p.x) * w._11 + double(p.y) * w._21 + double(p.z) * w._31 + w._41,
            double(p.x) * w._12 + double(p.y) * w._22 + double(p.z) * w._32 + w._42,
            double(p.x) * w._13 + double(p.y) * w._23 + double(p.z) * w._33 + w._43};
}

const char* const kVertexShader = R"(#version 120
attribute vec3 aPosition;
attribute vec3 aNormal;
attribute vec4 aColor;      // the ARGB bytes as they lie in memory: blue, green, red, alpha
uniform mat4 uWorld;        // row-vector placement, which read column-major is its own transpose
uniform mat4 uViewProjection;
varying vec3 vNormal;
varying vec3 vWorld;
varying vec4 vColor;
varying float vHeight;
void main() {
    vec4 world = uWorld * vec4(aPosition, 1.0);
    vWorld = world.xyz;
    vNormal = mat3(uWorld) * aNormal;
    vColor = aColor;
    vHeight = aPosition.y;
    gl_Position = uViewProjection * world;
}
)";

const char* const kFragmentShader = R"(#version 120
varying vec3 vNormal;
varying vec3 vWorld;
varying vec4 vColor;
varying float vHeight;
uniform vec3 uEye;
uniform float uWaterline;   // half-width of the waterline stripe, object units
void main() {
    vec3 toEye = normalize(uEye - vWorld);
    vec3 n = length(vNormal) > 1e-6 ? normalize(vNormal) : toEye;
    if (dot(n, toEye) < 0.0) n = -n;
    float dent = vColor.x;
    float red = vColor.z;
    float mark = 1.0 - vColor.w;
    vec3 base = mix(vec3(0.70, 0.74, 0.80), vec3(0.48, 0.50, 0.55), red);
    if (vHeight < 0.0) base *= vec3(0.80, 0.86, 0.95);
    if (abs(vHeight) < uWaterline) base = vec3(0.20, 0.24, 0.30);
    base = mix(base, vec3(1.00, 0.45, 0.05), dent > 0.0 ? 0.35 + 0.65 * sqrt(dent) : 0.0);
    base = mix(base, vec3(0.50, 0.08, 0.70), mark);
    vec3 key = normalize(vec3(-0.35, 0.80, 0.50));
    vec3 fill = normalize(vec3(0.60, 0.20, 0.75));
    float diffuse = max(dot(n, key), 0.0) * 0.70 + max(dot(n, fill), 0.0) * 0.25;
    float specular = pow(max(dot(reflect(-key, n), toEye), 0.0), 24.0) * 0.25;
    gl_FragColor = vec4(base * (0.22 + diffuse) + vec3(specular), 1.0);
}
)";

GLuint Compile(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[512] = {0};
        glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
        glDeleteShader(shader);
        std::string line(log);
        line = line.substr(0, line.find('\n'));
        throw OutputError("cannot render: shader does not compile: " + line);
    }
    return shader;
}

}  // namespace

Camera FitCamera(const D3DXVECTOR3& boxMin, const D3DXVECTOR3& boxMax, const D3DXVECTOR3& viewFrom, float aspect) {
    Camera camera;
    const Vec lo = V(boxMin), hi = V(boxMax);
    const Vec centre = Scale({lo.x + hi.x, lo.y + hi.y, lo.z + hi.z}, 0.5);
    const Vec d = Normalize(V(viewFrom));
    Vec up = {0.0, 1.0, 0.0};
    if (std::fabs(Dot(d, up)) > 0.99) up = {0.0, 0.0, 1.0};
    const Vec s = Normalize(Cross(Scale(d, -1.0), up));
    const Vec u = Cross(s, Scale(d, -1.0));
    // Fit within 90% of the frame on either axis.
    const double tanV = std::tan(camera.fovY / 2.0) * 0.9;
    const double tanH = tanV * aspect;
    double distance = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec c = {corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y, corner & 4 ? hi.z : lo.z};
        const Vec rel = Sub(c, centre);
        const double toEye = Dot(rel, d);
        distance = std::max({distance, std::fabs(Dot(rel, s)) / tanH + toEye, std::fabs(Dot(rel, u)) / tanV + toEye});
    }
    const double radius = std::sqrt(Dot(Sub(hi, lo), Sub(hi, lo))) * 0.5;
    distance = std::max(distance, 1e-3);
    camera.target = F(centre);
    camera.eye = F({centre.x + d.x * distance, centre.y + d.y * distance, centre.z + d.z * distance});
    camera.up = F(up);
    camera.nearZ = float(std::max(distance - radius * 1.1, distance * 0.01));
    camera.farZ = float(distance + radius * 1.1 + 1e-3);
    return camera;
}

bool WorldBounds(const D3DXVECTOR3* positions, size_t count, const D3DXMATRIX& world, D3DXVECTOR3* boxMin,
                 D3DXVECTOR3* boxMax) {
    if (count == 0) return false;
    Vec lo = Place(positions[0], world), hi = lo;
    for (size_t i = 1; i < count; ++i) {
        const Vec p = Place(positions[i], world);
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    *boxMin = F(lo);
    *boxMax = F(hi);
    return true;
}

bool ProjectToPixel(const Camera& camera, int width, int height, const D3DXVECTOR3& point, float* x, float* y) {
    const Mat vp = ViewProjection(camera, double(width) / height);
    const double p[4] = {point.x, point.y, point.z, 1.0};
    double clip[4];
    for (int row = 0; row < 4; ++row) {
        clip[row] = 0.0;
        for (int k = 0; k < 4; ++k) clip[row] += vp.m[k * 4 + row] * p[k];
    }
    if (clip[3] <= 0.0) return false;
    *x = float((clip[0] / clip[3] * 0.5 + 0.5) * width);
    *y = float((0.5 - clip[1] / clip[3] * 0.5) * height);
    return true;
}

RenderBuffers BuffersOf(Vexa_ObjectData& object) {
    RenderBuffers buffers;
    IDirect3DVertexBuffer9* vb = object.GetVertexBuffer();
    IDirect3DIndexBuffer9* ib = object.GetIndexBuffer();
    buffers.vertices = vb->Data();
    buffers.vertexBytes = vb->GetSize();
    buffers.recordSize = object.VertexRecordSize();
    buffers.indices = ib->Data();
    buffers.indexBytes = ib->GetSize();
    buffers.indexWidth = object.UsesIndices16() ? 2 : 4;
    object.GetWorldMatrix(&buffers.world);
    return buffers;
}

OffscreenRenderer::OffscreenRenderer() {
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!context) throw OutputError("cannot render: no offscreen OpenGL context (OSMesa)");
    context_ = context;
    target_.assign(4, 0);
    if (!OSMesaMakeCurrent(context, target_.data(), GL_UNSIGNED_BYTE, 1, 1)) {
        OSMesaDestroyContext(context);
        throw OutputError("cannot render: the offscreen OpenGL context cannot be made current");
    }
    GLuint vertex = 0, fragment = 0;
    try {
        vertex = Compile(GL_VERTEX_SHADER, kVertexShader);
        fragment = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
    } catch (...) {
        if (vertex) glDeleteShader(vertex);
        OSMesaDestroyContext(context);
        throw;
    }
    program_ = glCreateProgram();
    glAttachShader(program_, vertex);
    glAttachShader(program_, fragment);
    glBindAttribLocation(program_, 0, "aPosition");
    glBindAttribLocation(program_, 1, "aNormal");
    glBindAttribLocation(program_, 2, "aColor");
    glLinkProgram(program_);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram(program_);
        OSMesaDestroyContext(context);
        throw OutputError("cannot render: the shader program does not link");
    }
}

// Unbinding first lets Mesa release the framebuffer it made for our buffer.
OffscreenRenderer::~OffscreenRenderer() {
    glDeleteProgram(program_);
    OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

Image OffscreenRenderer::Render(const RenderBuffers& buffers, const Camera& camera, int width, int height) {
    const int w = width * kSupersample, h = height * kSupersample;
    target_.assign(static_cast<size_t>(w) * h * 4, 0);
    if (!OSMesaMakeCurrent(static_cast<OSMesaContext>(context_), target_.data(), GL_UNSIGNED_BYTE, w, h))
        throw OutputError("cannot render: the offscreen OpenGL context cannot be made current");

    glViewport(0, 0, w, h);
    glClearColor(kBackground[0] / 255.0f, kBackground[1] / 255.0f, kBackground[2] / 255.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);

    const size_t records = buffers.recordSize > 0 ? buffers.vertexBytes / static_cast<size_t>(buffers.recordSize) : 0;
    const size_t indexCount = buffers.indexBytes / static_cast<size_t>(buffers.indexWidth) / 3 * 3;
    // OpenGL does not check indices against the vertex buffer; a wrong one
    // would read outside it.
    for (size_t i = 0; i < indexCount; ++i) {
        uint32_t index;
        if (buffers.indexWidth == 2) {
            uint16_t narrow;
            std::memcpy(&narrow, buffers.indices + 2 * i, 2);
            index = narrow;
        } else {
            std::memcpy(&index, buffers.indices + 4 * i, 4);
        }
        if (index >= records)
            throw OutputError("cannot render: index entry " + std::to_string(i) + " refers to vertex " +
                              std::to_string(index) + " beyond the " + std::to_string(records) + " vertex records");
    }
    if (records > 0 && indexCount > 0) {
        GLuint objects[2];
        glGenBuffers(2, objects);
        glBindBuffer(GL_ARRAY_BUFFER, objects[0]);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(records * buffers.recordSize), buffers.vertices,
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, objects[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount * buffers.indexWidth),
                     buffers.indices, GL_STATIC_DRAW);

        glUseProgram(program_);
        const GLsizei stride = buffers.recordSize;
        // Record layout: position at 0, normal at 12, ARGB colour at 24.
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(12));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, reinterpret_cast<const void*>(24));

        float world[16];
        std::memcpy(world, buffers.world.m, sizeof(world));
        const Mat vp = ViewProjection(camera, double(width) / height);
        float viewProjection[16];
        for (int i = 0; i < 16; ++i) viewProjection[i] = float(vp.m[i]);
        glUniformMatrix4fv(glGetUniformLocation(program_, "uWorld"), 1, GL_FALSE, world);
        glUniformMatrix4fv(glGetUniformLocation(program_, "uViewProjection"), 1, GL_FALSE, viewProjection);
        glUniform3f(glGetUniformLocation(program_, "uEye"), camera.eye.x, camera.eye.y, camera.eye.z);
        const float extent = std::sqrt(std::pow(camera.eye.x - camera.target.x, 2.0f) +
                                       std::pow(camera.eye.y - camera.target.y, 2.0f) +
                                       std::pow(camera.eye.z - camera.target.z, 2.0f));
        glUniform1f(glGetUniformLocation(program_, "uWaterline"), extent * 0.0012f);

        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount),
                       buffers.indexWidth == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, nullptr);
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(1);
        glDisableVertexAttribArray(2);
        glUseProgram(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glDeleteBuffers(2, objects);
    }
    glFinish();

    // OSMesa rows run bottom to top; average each 2x2 block into one pixel.
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < kSupersample; ++sy)
                for (int sx = 0; sx < kSupersample; ++sx) {
                    const int row = h - 1 - (y * kSupersample + sy);
                    const uint8_t* p = &target_[(static_cast<size_t>(row) * w + x * kSupersample + sx) * 4];
                    for (int c = 0; c < 4; ++c) sum[c] += p[c];
                }
            uint8_t* out = image.At(x, y);
            const unsigned n = kSupersample * kSupersample;
            for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return image;
}

}  // namespace crumpletool
