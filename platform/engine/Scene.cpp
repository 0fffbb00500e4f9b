// The scene side of the engine: textures, mesh builders, meshes and frames.

#include "engine/EngineObjects.h"

#include <algorithm>
#include <cmath>

namespace rm {

TextureImpl::TextureImpl(const Image& image, uint32_t colors, uint32_t shades)
    : m_image(image), m_colors(colors), m_shades(shades) {}

bool TextureImpl::isUsable(const Image& image) {
    return image.depth == 8 && image.rgb == 0 && image.width > 0 && image.height > 0 &&
           image.bytes_per_line >= image.width && image.buffer1 != nullptr &&
           image.palette != nullptr && image.palette_size > 0 && image.palette_size <= 256;
}

Result TextureImpl::SetColors(uint32_t colors) {
    if (colors < 1 || colors > 256) {
        return kFail;
    }
    m_colors = colors;
    return kOk;
}

Result TextureImpl::SetShades(uint32_t shades) {
    if (shades < 1 || shades > 256) {
        return kFail;
    }
    m_shades = shades;
    return kOk;
}

TextureSampler TextureImpl::sampler(std::array<uint32_t, 256>& palette) const {
    // The palette is the caller's and is read afresh for every draw; indices past its end
    // show black rather than memory beyond it.
    palette.fill(0xFF000000);
    for (int i = 0; i < m_image.palette_size; ++i) {
        const PaletteEntry& e = m_image.palette[i];
        palette[size_t(i)] = 0xFF000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
    }
    TextureSampler s;
    s.pixels = static_cast<const uint8_t*>(m_image.buffer1);
    s.width = m_image.width;
    s.height = m_image.height;
    s.stride = m_image.bytes_per_line;
    s.palette = palette.data();
    return s;
}

Result MeshBuilderImpl::AddFaces(uint32_t vertexCount, const Vector* vertices, uint32_t normalCount,
                                 const Vector* normals, const uint32_t* faceData,
                                 FaceArray** faces) {
    if ((vertexCount > 0 && !vertices) || !faceData) {
        return kFail;
    }
    if (normals && normalCount != vertexCount) {
        return kFail;
    }
    // Read every face before changing anything, so that a bad one leaves the builder as it
    // was. Polygons become fans of triangles around their first vertex.
    const auto base = uint32_t(m_vertices.size());
    std::vector<uint32_t> triangles;
    std::vector<uint32_t> polygons;
    size_t faceCount = 0;
    for (const uint32_t* p = faceData; *p != 0;) {
        uint32_t n = *p++;
        if (n < 3) {
            return kFail;
        }
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i] >= vertexCount) {
                return kFail;
            }
        }
        for (uint32_t i = 1; i + 1 < n; ++i) {
            triangles.insert(triangles.end(), {base + p[0], base + p[i], base + p[i + 1]});
        }
        polygons.push_back(n);
        for (uint32_t i = 0; i < n; ++i) {
            polygons.push_back(base + p[i]);
        }
        p += n;
        ++faceCount;
    }
    FaceArray* faceArray = nullptr;
    if (faces) {
        faceArray = new FaceArrayImpl(faceCount);
    }
    for (uint32_t i = 0; i < vertexCount; ++i) {
        Vertex v;
        v.position = vertices[i];
        if (normals) {
            v.normal = normals[i];
        }
        v.color = 0xFFFFFFFF;
        m_vertices.push_back(v);
    }
    m_triangles.insert(m_triangles.end(), triangles.begin(), triangles.end());
    m_polygons.insert(m_polygons.end(), polygons.begin(), polygons.end());
    if (faces) {
        *faces = faceArray;
    }
    return kOk;
}

Result MeshBuilderImpl::GenerateNormals() {
    std::vector<Vector> sums(m_vertices.size());
    for (size_t f = 0; f < m_polygons.size(); f += 1 + m_polygons[f]) {
        const uint32_t n = m_polygons[f];
        const uint32_t* corner = &m_polygons[f + 1];
        // The face's normal: the sum over its fan of (b - a) x (c - a), each twice a
        // triangle's area, so larger faces weigh more. For a face clockwise from outside, in
        // left-handed coordinates, it points outwards.
        Vector normal;
        const Vector& a = m_vertices[corner[0]].position;
        for (uint32_t i = 1; i + 1 < n; ++i) {
            normal = normal + cross(m_vertices[corner[i]].position - a,
                                    m_vertices[corner[i + 1]].position - a);
        }
        for (uint32_t i = 0; i < n; ++i) {
            sums[corner[i]] = sums[corner[i]] + normal;
        }
    }
    for (size_t i = 0; i < m_vertices.size(); ++i) {
        float len = length(sums[i]);
        m_vertices[i].normal = len > 0 ? sums[i] * (1.0f / len) : Vector{};
    }
    return kOk;
}

Result MeshBuilderImpl::SetTexture(Texture* texture) {
    // Every texture comes from this engine, so the downcast is safe; null removes it.
    m_texture = Ref<TextureImpl>(static_cast<TextureImpl*>(texture));
    return kOk;
}

Result MeshBuilderImpl::SetTextureCoordinates(uint32_t index, float u, float v) {
    if (index >= m_vertices.size()) {
        return kFail;
    }
    m_vertices[index].tu = u;
    m_vertices[index].tv = v;
    return kOk;
}

Result MeshBuilderImpl::CreateMesh(Mesh** mesh) {
    if (!mesh) {
        return kFail;
    }
    *mesh = new MeshImpl(m_vertices, m_triangles, m_texture.get());
    return kOk;
}

MeshImpl::MeshImpl(std::vector<Vertex> vertices, std::vector<uint32_t> triangles, Texture* texture)
    : m_vertices(std::move(vertices)), m_triangles(std::move(triangles)),
      m_texture(static_cast<TextureImpl*>(texture)), m_groupCount(m_vertices.empty() ? 0 : 1),
      m_view(m_vertices.size()) {}

bool MeshImpl::inGroup(uint32_t group, uint32_t first, uint32_t count) const {
    // 64-bit sum: first + count cannot wrap around.
    return group < m_groupCount && uint64_t(first) + count <= m_vertices.size();
}

Result MeshImpl::GetVertices(uint32_t group, uint32_t first, uint32_t count, Vertex* vertices) {
    if (faultActive(Fault::GetVertices) || !inGroup(group, first, count) ||
        (count > 0 && !vertices)) {
        return kFail;
    }
    std::copy_n(m_vertices.begin() + first, count, vertices);
    return kOk;
}

Result MeshImpl::SetVertices(uint32_t group, uint32_t first, uint32_t count,
                             const Vertex* vertices) {
    if (!inGroup(group, first, count) || (count > 0 && !vertices)) {
        return kFail;
    }
    std::copy_n(vertices, count, m_vertices.begin() + first);
    return kOk;
}

void MeshImpl::draw(RenderTarget& target, const PixelRect& clip, const Projection& projection,
                    const rm::Transform& modelView) {
    if (m_triangles.empty()) {
        return;
    }
    const bool allFinite =
        transformVertices(modelView, m_vertices.data(), m_vertices.size(), m_view.data());
    std::array<uint32_t, 256> palette;
    TextureSampler sampler;
    TriangleFill fill;
    if (m_texture) {
        sampler = m_texture->sampler(palette);
        fill.texture = &sampler;
    }
    ClippedPolygon polygon;
    for (size_t t = 0; t + 2 < m_triangles.size(); t += 3) {
        const ViewVertex& a = m_view[m_triangles[t]];
        const ViewVertex& b = m_view[m_triangles[t + 1]];
        const ViewVertex& c = m_view[m_triangles[t + 2]];
        if (!allFinite) {
            // Slow path for meshes with broken vertices: skip the faces that use them.
            auto finite = [](const ViewVertex& v) {
                return std::isfinite(v.p.x) && std::isfinite(v.p.y) && std::isfinite(v.p.z) &&
                       std::isfinite(v.u) && std::isfinite(v.v);
            };
            if (!finite(a) || !finite(b) || !finite(c)) {
                continue;
            }
        }
        // Flat shading: untextured faces take their first vertex's colour. There are no
        // lights, so every face is at full intensity.
        fill.color = m_vertices[m_triangles[t]].color | 0xFF000000u;
        int n = clipTriangle(a, b, c, projection, polygon);
        if (n == 0) {
            continue;
        }
        // The clipped polygon is convex and keeps the winding: draw it as a fan.
        ScreenVertex first = projectVertex(polygon[0], projection);
        ScreenVertex prev = projectVertex(polygon[1], projection);
        for (int i = 2; i < n; ++i) {
            ScreenVertex next = projectVertex(polygon[size_t(i)], projection);
            drawTriangle(target, clip, first, prev, next, fill);
            prev = next;
        }
    }
}

FrameImpl::FrameImpl(FrameImpl* parent) : m_parent(parent) {
    if (m_parent) {
        m_parent->m_children.emplace_back(this);
    }
}

FrameImpl::~FrameImpl() {
    // Children outlive their parent only through references of their own; they become roots.
    for (auto& child : m_children) {
        child->m_parent = nullptr;
    }
}

Result FrameImpl::AddVisual(Mesh* mesh) {
    if (!mesh) {
        return kFail;
    }
    m_visuals.emplace_back(static_cast<MeshImpl*>(mesh));
    return kOk;
}

FrameImpl* FrameImpl::root() {
    FrameImpl* f = this;
    while (f->m_parent) {
        f = f->m_parent;
    }
    return f;
}

rm::Transform FrameImpl::worldTransform() const {
    // Parent's world after this frame's local transform, up to the root.
    rm::Transform world = m_local;
    for (const FrameImpl* f = m_parent; f; f = f->m_parent) {
        world = compose(f->m_local, world);
    }
    return world;
}

Result FrameImpl::SetPosition(Frame* reference, float x, float y, float z) {
    Vector p{x, y, z};
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        return kFail;
    }
    if (reference) {
        // The point in world coordinates, then in the parent's.
        Vector world = static_cast<FrameImpl*>(reference)->worldTransform().apply(p);
        p = m_parent ? inverse(m_parent->worldTransform()).apply(world) : world;
    }
    m_local.t = p;
    return kOk;
}

Result FrameImpl::GetPosition(Frame* reference, Vector* position) {
    if (!position) {
        return kFail;
    }
    Vector p = m_local.t; // in the parent's coordinates
    if (reference) {
        // Up to world coordinates, then down into the reference frame's.
        Vector world = m_parent ? m_parent->worldTransform().apply(p) : p;
        p = inverse(static_cast<FrameImpl*>(reference)->worldTransform()).apply(world);
    }
    *position = p;
    return kOk;
}

Result FrameImpl::Transform(Vector* world, const Vector* local) {
    if (!world || !local) {
        return kFail;
    }
    *world = worldTransform().apply(*local);
    return kOk;
}

Result FrameImpl::AddRotation(CombineType combine, float x, float y, float z, float theta) {
    Vector axis{x, y, z};
    float len = length(axis);
    if (!(len > 0) || !std::isfinite(len) || !std::isfinite(theta)) {
        return kFail; // no axis to turn about
    }
    rm::Transform r = rotation(axis * (1.0f / len), theta);
    switch (combine) {
    case CombineType::Replace:
        // The rotation becomes the frame's orientation; its position stays.
        r.t = m_local.t;
        m_local = r;
        break;
    case CombineType::Before:
        // Points are turned by r first, then by the existing transform.
        m_local = compose(m_local, r);
        break;
    case CombineType::After:
        // Points are moved by the existing transform first, then turned by r (about the
        // parent's origin, so the position turns too).
        m_local = compose(r, m_local);
        break;
    default:
        return kFail;
    }
    return kOk;
}

Color FrameImpl::GetSceneBackground() {
    return root()->m_background;
}

Result FrameImpl::SetSceneBackground(Color color) {
    root()->m_background = color | 0xFF000000u;
    return kOk;
}

void FrameImpl::draw(RenderTarget& target, const PixelRect& clip, const Projection& projection,
                     const rm::Transform& view, const rm::Transform& parentWorld) {
    const rm::Transform world = compose(parentWorld, m_local);
    const rm::Transform modelView = compose(view, world);
    for (auto& visual : m_visuals) {
        visual->draw(target, clip, projection, modelView);
    }
    for (auto& child : m_children) {
        child->draw(target, clip, projection, view, world);
    }
}

} // namespace rm
