#pragma once
// The retained-mode 3D component: a scene of frames carrying meshes, a camera frame with a
// viewport onto a device, and a software rasterizer that draws it. No Qt, no display.
//
// Usage: create the retained-mode object (Direct3DRMCreate), a clipper bound to a window
// target (DirectDrawCreateClipper, Clipper::SetHWnd), a device from the clipper, a scene
// root frame, meshes from mesh builders, a camera frame and a viewport; then every
// Tick(1.0) renders every viewport and hands each finished frame to its clipper's target.
//
// Conventions: left-handed coordinates, x right, y up, a camera looks along its own +z.
// Faces whose vertices run clockwise as the camera sees them are front faces; back faces
// are not drawn. Results are 0 (kOk) for success and nonzero for failure, and a failing
// call changes nothing. Objects are reference counted: a creator receives one reference
// and gives it back with Release(); an object that holds another holds a reference on it.
// Every call the player tests for failure can be made to fail from a test (setFault).

#include <cstdint>

namespace rm {

using Result = int;
constexpr Result kOk = 0;
constexpr Result kFail = 1;

// 0xAARRGGBB.
using Color = uint32_t;
float ColorGetRed(Color color);   // 0.0 to 1.0
float ColorGetGreen(Color color); // 0.0 to 1.0
float ColorGetBlue(Color color);  // 0.0 to 1.0
Color CreateColorRGB(float red, float green, float blue);

struct Vector {
    float x = 0;
    float y = 0;
    float z = 0;
};

// One vertex of a mesh group: the unit of every vertex transfer between the face model and
// the mesh.
struct Vertex {
    Vector position;
    Vector normal;
    float tu = 0; // texture coordinates, 0..1 across the image; v = 0 is the image's top row
    float tv = 0;
    Color color = 0;
};

struct PaletteEntry {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t flags = 0;
};

// An 8-bit palette image. The pixel and palette memory stay the caller's and must outlive
// every texture made from the image.
struct Image {
    int width = 0;
    int height = 0;
    int aspectx = 0;
    int aspecty = 0;
    int depth = 0;          // bits per pixel; 8 is the only depth supported
    int rgb = 0;            // 0: palette-indexed
    int bytes_per_line = 0; // row stride in bytes; rows run from the top of the image
    void* buffer1 = nullptr;
    void* buffer2 = nullptr;
    uint32_t red_mask = 0;
    uint32_t green_mask = 0;
    uint32_t blue_mask = 0;
    uint32_t alpha_mask = 0;
    int palette_size = 0;
    PaletteEntry* palette = nullptr;
};

enum class CombineType { Replace, Before, After };
enum class ProjectionType { Perspective = 0, Orthographic = 1 };
enum class ColorModel : uint32_t { Mono = 1, RGB = 2 };

// Device quality: D3DRMRENDER_FLAT (solid fill, lights on, flat shading) is 136.
constexpr uint32_t kRenderFlat = 136;
// Texture quality: nearest texel.
constexpr uint32_t kTextureNearest = 0;

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};

// The devices FindDevice reports, one per colour model. Both draw the texture's own colours;
// a mono device only differs in treating light as a single intensity.
inline constexpr Guid kMonoDeviceGuid{0x6d6d4d4f, 0x4e4f, 0x0001, {0, 0, 0, 0, 0, 0, 0, 1}};
inline constexpr Guid kRGBDeviceGuid{0x6d6d5247, 0x4220, 0x0002, {0, 0, 0, 0, 0, 0, 0, 2}};

// Search record of FindDevice (D3DFINDDEVICESEARCH): flags 1 selects by colour model.
struct FindDeviceSearch {
    uint32_t dwSize = 0;
    uint32_t dwFlags = 0;
    ColorModel dcmColorModel = ColorModel::Mono;
};
constexpr uint32_t kFindByColorModel = 1;

// Result record of FindDevice (D3DFINDDEVICERESULT).
struct FindDeviceResult {
    uint32_t dwSize = 0;
    Guid guid;
    ColorModel colorModel = ColorModel::Mono;
};

// Where a device's finished frames go: the binding of a clipper to a window.
// A frame is width x height pixels, 32 bits each, 0xAARRGGBB in native byte order
// (on little-endian machines the bytes are B, G, R, A; alpha is 0xFF), rows from the top,
// `stride` bytes from one row to the next. The pixels are valid only during the call.
class WindowTarget {
public:
    virtual ~WindowTarget() = default;
    virtual int targetWidth() const = 0;
    virtual int targetHeight() const = 0;
    virtual void presentFrame(const uint32_t* pixels, int width, int height, int stride) = 0;
};

class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    unsigned long AddRef();
    unsigned long Release(); // deletes the object when the count reaches 0; returns the new count

protected:
    virtual ~Object() = default;

private:
    unsigned long m_refCount = 1;
};

class Texture;
class Mesh;
class Device;

class Frame : public Object {
public:
    virtual Result AddVisual(Mesh* mesh) = 0;
    // Position of this frame's origin, given in the coordinates of `reference` (null: parent).
    virtual Result SetPosition(Frame* reference, float x, float y, float z) = 0;
    // Combines a rotation by `theta` radians about the axis (x, y, z) with the frame's
    // transform: Replace sets its rotation (the position stays), Before applies the rotation
    // before the current transform, After applies it after (to points already turned by the
    // current transform).
    virtual Result AddRotation(CombineType combine, float x, float y, float z, float theta) = 0;
    // The background of the scene this frame belongs to (its root's); black by default.
    virtual Color GetSceneBackground() = 0;
    virtual Result SetSceneBackground(Color color) = 0;
    // Position of this frame's origin in the coordinates of `reference` (null: parent).
    virtual Result GetPosition(Frame* reference, Vector* position) = 0;
    // Turns a point given in this frame's coordinates into world (scene root parent) ones.
    virtual Result Transform(Vector* world, const Vector* local) = 0;
};

class FaceArray : public Object {};

class MeshBuilder : public Object {
public:
    // faceData: for each face its vertex count (3 or more; a polygon is split into a fan of
    // triangles) followed by that many vertex numbers, ended by a 0 count. Vertex numbers
    // must be below vertexCount. Normals may be null; otherwise normalCount equals
    // vertexCount and normal i belongs to vertex i. The vertices are appended to the
    // builder's; vertex numbers count from the first vertex of this call. `faces` may be
    // null; otherwise it receives a face array holding a reference for the caller.
    virtual Result AddFaces(uint32_t vertexCount, const Vector* vertices, uint32_t normalCount,
                            const Vector* normals, const uint32_t* faceData, FaceArray** faces) = 0;
    // Each vertex normal becomes the normalised sum of the normals of the faces that use the
    // vertex, each weighted by the face's area; a vertex of no face keeps a zero normal.
    virtual Result GenerateNormals() = 0;
    virtual Result SetTexture(Texture* texture) = 0;
    virtual Result SetTextureCoordinates(uint32_t index, float u, float v) = 0;
    // The mesh is a copy: its group 0 holds one vertex per builder vertex, in builder order.
    virtual Result CreateMesh(Mesh** mesh) = 0;
};

// Vertex access to group `group` of a mesh. A request outside the group fails and
// changes nothing.
class MeshVertices {
public:
    virtual Result GetVertices(uint32_t group, uint32_t first, uint32_t count,
                               Vertex* vertices) = 0;
    virtual Result SetVertices(uint32_t group, uint32_t first, uint32_t count,
                               const Vertex* vertices) = 0;

protected:
    ~MeshVertices() = default;
};

class Mesh : public Object, public MeshVertices {
public:
    virtual uint32_t GetGroupCount() = 0;
};

class Texture : public Object {
public:
    virtual Result SetColors(uint32_t colors) = 0;
    virtual Result SetShades(uint32_t shades) = 0;
};

class WinDevice : public Object {
public:
    // Repaints the bound window with the last frame.
    virtual Result HandlePaint() = 0;
    virtual Result HandleActivate(uint32_t state) = 0;
};

class Device : public Object {
public:
    virtual Result SetQuality(uint32_t quality) = 0;
    virtual Result SetTextureQuality(uint32_t quality) = 0;
    // Shades of each colour the device draws with, 1..256; 32 until set.
    virtual Result SetShades(uint32_t shades) = 0;
    virtual uint32_t GetShades() = 0;
    // Dithering: nonzero is on; off until set. GetDither gives 1 or 0.
    virtual Result SetDither(int dither) = 0;
    virtual int GetDither() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual Result QueryWinDevice(WinDevice** winDevice) = 0;
};

// What a camera frame sees, drawn into a rectangle of a device. Points whose distance along
// the camera's +z lies between front and back are drawn. The field is half the extent of the
// smaller viewport side: in world units for an orthographic projection, at distance front for
// a perspective one. Defaults: perspective, front 1, back 100, field 0.5. Front must stay
// below back, and a perspective projection needs front > 0 (an orthographic one may look
// behind the camera, front < 0).
class Viewport : public Object {
public:
    virtual Result SetProjection(ProjectionType type) = 0;
    virtual Result SetBack(float back) = 0;
    virtual Result SetFront(float front) = 0;
    virtual Result SetField(float field) = 0;
};

class Clipper : public Object {
public:
    // Binds the clipper to `window` (not owned; it must outlive the binding). A null window
    // unbinds it: frames are then rendered but handed to nobody.
    virtual Result SetHWnd(uint32_t flags, WindowTarget* window) = 0;
};

class Direct3D : public Object {
public:
    virtual Result FindDevice(const FindDeviceSearch* search, FindDeviceResult* result) = 0;
};

class DirectDraw : public Object {
public:
    virtual Result QueryDirect3D(Direct3D** direct3D) = 0;
};

class RetainedMode : public Object {
public:
    virtual Result CreateFrame(Frame* parent, Frame** frame) = 0;
    virtual Result CreateMeshBuilder(MeshBuilder** builder) = 0;
    virtual Result CreateTexture(const Image* image, Texture** texture) = 0;
    // guid null: any device. A width or height of 0 takes the size of the clipper's window.
    virtual Result CreateDeviceFromClipper(Clipper* clipper, const Guid* guid, int width,
                                           int height, Device** device) = 0;
    virtual Result CreateViewport(Device* device, Frame* camera, int x, int y, int width,
                                  int height, Viewport** viewport) = 0;
    // Colours and shades, 1..256 each, given to every texture created afterwards; a texture
    // made earlier keeps its own. 256 colours and 1 shade until set.
    virtual Result SetDefaultTextureColors(uint32_t colors) = 0;
    virtual Result SetDefaultTextureShades(uint32_t shades) = 0;
    virtual uint32_t GetDefaultTextureColors() = 0;
    virtual uint32_t GetDefaultTextureShades() = 0;
    // Renders every viewport of every device and hands each frame to its clipper's target.
    virtual Result Tick(double delta) = 0;
};

Result Direct3DRMCreate(RetainedMode** retainedMode);
Result DirectDrawCreateClipper(uint32_t flags, Clipper** clipper, void* outer);
Result DirectDrawCreate(const Guid* driver, DirectDraw** directDraw, void* outer);

// The calls the player tests for failure; tests make them fail with setFault.
enum class Fault {
    Direct3DRMCreate,
    DirectDrawCreateClipper,
    ClipperSetHWnd,
    DirectDrawCreate,
    QueryDirect3D,
    FindDevice,
    CreateDeviceFromClipper,
    CreateTexture,
    QueryWinDevice,
    HandlePaint,
    HandleActivate,
    GetVertices,
};
void setFault(Fault fault, bool failing);
void clearFaults();

} // namespace rm
