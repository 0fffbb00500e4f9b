#pragma once
// The engine's implementations of the retained-mode interfaces. Internal to the engine.
//
// Ownership: a frame holds its children and its visuals; a mesh builder and a mesh hold
// their texture; a device holds its clipper and its retained-mode object; a viewport holds
// its device and its camera; a window device holds its device. Back links (a child's parent,
// a device's viewports, the retained-mode object's devices) hold no reference and are
// cleared by the object that goes away first.

#include "engine/Rasterizer.h"
#include "engine/RetainedMode.h"
#include "engine/Transform.h"

#include <array>
#include <vector>

namespace rm {

bool faultActive(Fault fault);

// Holds one reference for as long as it lives.
template <class T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* object) : m_object(object) {
        if (m_object) {
            m_object->AddRef();
        }
    }
    Ref(const Ref& other) : Ref(other.m_object) {}
    Ref& operator=(const Ref& other) {
        Ref copy(other);
        std::swap(m_object, copy.m_object);
        return *this;
    }
    ~Ref() {
        if (m_object) {
            m_object->Release();
        }
    }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

class TextureImpl final : public Texture {
public:
    TextureImpl(const Image& image, uint32_t colors, uint32_t shades);
    Result SetColors(uint32_t colors) override;
    Result SetShades(uint32_t shades) override;

    // The sampler over the caller's image, with the palette read now into `palette`.
    TextureSampler sampler(std::array<uint32_t, 256>& palette) const;

    static bool isUsable(const Image& image);

private:
    Image m_image;           // a copy of the descriptor; its memory stays the caller's
    uint32_t m_colors = 256; // 1..256
    uint32_t m_shades = 1;   // 1..256; with no lights every level is full intensity
};

class FaceArrayImpl final : public FaceArray {
public:
    explicit FaceArrayImpl(size_t faces) : m_faces(faces) {}

private:
    size_t m_faces = 0;
};

class MeshImpl final : public Mesh {
public:
    MeshImpl(std::vector<Vertex> vertices, std::vector<uint32_t> triangles, Texture* texture);
    Result GetVertices(uint32_t group, uint32_t first, uint32_t count, Vertex* vertices) override;
    Result SetVertices(uint32_t group, uint32_t first, uint32_t count,
                       const Vertex* vertices) override;
    uint32_t GetGroupCount() override { return m_groupCount; }

    // Draws the mesh with the given model-to-camera transform.
    void draw(RenderTarget& target, const PixelRect& clip, const Projection& projection,
              const Transform& modelView);

private:
    bool inGroup(uint32_t group, uint32_t first, uint32_t count) const;

    std::vector<Vertex> m_vertices;    // group 0
    std::vector<uint32_t> m_triangles; // three vertex numbers per triangle, clockwise
    Ref<TextureImpl> m_texture;
    uint32_t m_groupCount = 0;      // 1 when the builder had vertices, else 0
    std::vector<ViewVertex> m_view; // scratch: the vertices in camera coordinates
};

class MeshBuilderImpl final : public MeshBuilder {
public:
    Result AddFaces(uint32_t vertexCount, const Vector* vertices, uint32_t normalCount,
                    const Vector* normals, const uint32_t* faceData, FaceArray** faces) override;
    Result GenerateNormals() override;
    Result SetTexture(Texture* texture) override;
    Result SetTextureCoordinates(uint32_t index, float u, float v) override;
    Result CreateMesh(Mesh** mesh) override;

private:
    std::vector<Vertex> m_vertices;
    std::vector<uint32_t> m_triangles; // three builder vertex numbers per triangle
    std::vector<uint32_t> m_polygons;  // the faces as given: count, then builder vertex numbers
    Ref<TextureImpl> m_texture;
};

class FrameImpl final : public Frame {
public:
    explicit FrameImpl(FrameImpl* parent);
    ~FrameImpl() override;

    Result AddVisual(Mesh* mesh) override;
    Result SetPosition(Frame* reference, float x, float y, float z) override;
    Result AddRotation(CombineType combine, float x, float y, float z, float theta) override;
    Color GetSceneBackground() override;
    Result SetSceneBackground(Color color) override;
    Result GetPosition(Frame* reference, Vector* position) override;
    Result Transform(Vector* world, const Vector* local) override;

    FrameImpl* root();
    rm::Transform worldTransform() const;
    // Draws this frame's visuals and those of every frame below it.
    void draw(RenderTarget& target, const PixelRect& clip, const Projection& projection,
              const rm::Transform& view, const rm::Transform& parentWorld);

private:
    FrameImpl* m_parent = nullptr; // no reference: the parent holds this frame
    std::vector<Ref<FrameImpl>> m_children;
    std::vector<Ref<MeshImpl>> m_visuals;
    rm::Transform m_local;           // this frame's coordinates -> its parent's
    Color m_background = 0xFF000000; // used on a root frame only
};

class ClipperImpl final : public Clipper {
public:
    Result SetHWnd(uint32_t flags, WindowTarget* window) override;
    WindowTarget* window() const { return m_window; }

private:
    WindowTarget* m_window = nullptr; // not owned
};

class RetainedModeImpl;
class ViewportImpl;

class DeviceImpl final : public Device {
public:
    DeviceImpl(RetainedModeImpl* owner, ClipperImpl* clipper, ColorModel model, int width,
               int height);
    ~DeviceImpl() override;

    Result SetQuality(uint32_t quality) override;
    Result SetTextureQuality(uint32_t quality) override;
    Result SetShades(uint32_t shades) override;
    uint32_t GetShades() override { return m_shades; }
    Result SetDither(int dither) override;
    int GetDither() override { return m_dither ? 1 : 0; }
    int GetWidth() override { return m_width; }
    int GetHeight() override { return m_height; }
    Result QueryWinDevice(WinDevice** winDevice) override;

    void addViewport(ViewportImpl* viewport) { m_viewports.push_back(viewport); }
    void removeViewport(ViewportImpl* viewport);
    // Renders every viewport, then hands the frame to the clipper's window.
    void render();
    // Hands the last frame to the clipper's window again. False when there is no window.
    bool present();

private:
    Ref<RetainedModeImpl> m_owner;
    Ref<ClipperImpl> m_clipper;
    ColorModel m_colorModel = ColorModel::RGB;
    int m_width = 0;  // pixels, 1..kMaxDeviceSide
    int m_height = 0; // pixels, 1..kMaxDeviceSide
    uint32_t m_quality = kRenderFlat;
    uint32_t m_textureQuality = kTextureNearest;
    uint32_t m_shades = 32; // 1..256
    bool m_dither = false;
    std::vector<uint32_t> m_color; // the last frame, 0xAARRGGBB, rows from the top
    std::vector<float> m_depth;
    std::vector<ViewportImpl*> m_viewports; // no reference: each viewport holds this device
};

// Larger devices are refused: 16384 * 16384 pixels already take 2 GiB of colour and depth.
constexpr int kMaxDeviceSide = 16384;

class WinDeviceImpl final : public WinDevice {
public:
    explicit WinDeviceImpl(DeviceImpl* device) : m_device(device) {}
    Result HandlePaint() override;
    Result HandleActivate(uint32_t state) override;

private:
    Ref<DeviceImpl> m_device;
};

class ViewportImpl final : public Viewport {
public:
    ViewportImpl(DeviceImpl* device, FrameImpl* camera, PixelRect rect);
    ~ViewportImpl() override;

    Result SetProjection(ProjectionType type) override;
    Result SetBack(float back) override;
    Result SetFront(float front) override;
    Result SetField(float field) override;

    void render(RenderTarget& target);

private:
    Projection projection() const;

    Ref<DeviceImpl> m_device;
    Ref<FrameImpl> m_camera;
    PixelRect m_rect;
    ProjectionType m_type = ProjectionType::Perspective;
    float m_front = 1; // along the camera's +z, < m_back; > 0 for perspective
    float m_back = 100;
    float m_field = 0.5f; // > 0
};

class RetainedModeImpl final : public RetainedMode {
public:
    Result CreateFrame(Frame* parent, Frame** frame) override;
    Result CreateMeshBuilder(MeshBuilder** builder) override;
    Result CreateTexture(const Image* image, Texture** texture) override;
    Result CreateDeviceFromClipper(Clipper* clipper, const Guid* guid, int width, int height,
                                   Device** device) override;
    Result CreateViewport(Device* device, Frame* camera, int x, int y, int width, int height,
                          Viewport** viewport) override;
    Result SetDefaultTextureColors(uint32_t colors) override;
    Result SetDefaultTextureShades(uint32_t shades) override;
    uint32_t GetDefaultTextureColors() override { return m_textureColors; }
    uint32_t GetDefaultTextureShades() override { return m_textureShades; }
    Result Tick(double delta) override;

    void removeDevice(DeviceImpl* device);

private:
    std::vector<DeviceImpl*> m_devices; // no reference: each device holds this object
    uint32_t m_textureColors = 256;     // given to textures made later, 1..256
    uint32_t m_textureShades = 1;       // likewise, 1..256
};

class Direct3DImpl final : public Direct3D {
public:
    Result FindDevice(const FindDeviceSearch* search, FindDeviceResult* result) override;
};

class DirectDrawImpl final : public DirectDraw {
public:
    Result QueryDirect3D(Direct3D** direct3D) override;
};

} // namespace rm
