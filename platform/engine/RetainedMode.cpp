// The retained-mode object, the entry points, reference counting, colours and the faults
// that tests switch on.

#include "engine/EngineObjects.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>

namespace rm {

namespace {

constexpr size_t kFaultCount = size_t(Fault::GetVertices) + 1;
std::array<bool, kFaultCount> s_faults{}; // indexed by Fault

uint8_t colorByte(float value) {
    // 0.0..1.0 to 0..255, rounded; out-of-range and NaN values are clamped.
    value = value > 0 ? (value < 1 ? value : 1) : 0;
    return uint8_t(std::lround(value * 255.0f));
}

bool sameGuid(const Guid& a, const Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

} // namespace

bool faultActive(Fault fault) {
    return s_faults[size_t(fault)];
}

void setFault(Fault fault, bool failing) {
    s_faults[size_t(fault)] = failing;
}

void clearFaults() {
    s_faults.fill(false);
}

unsigned long Object::AddRef() {
    return ++m_refCount;
}

unsigned long Object::Release() {
    assert(m_refCount > 0 && "released more often than referenced");
    unsigned long count = --m_refCount;
    if (count == 0) {
        delete this;
    }
    return count;
}

float ColorGetRed(Color color) {
    return float((color >> 16) & 0xFF) / 255.0f;
}
float ColorGetGreen(Color color) {
    return float((color >> 8) & 0xFF) / 255.0f;
}
float ColorGetBlue(Color color) {
    return float(color & 0xFF) / 255.0f;
}

Color CreateColorRGB(float red, float green, float blue) {
    return 0xFF000000u | uint32_t(colorByte(red)) << 16 | uint32_t(colorByte(green)) << 8 |
           colorByte(blue);
}

Result Direct3DRMCreate(RetainedMode** retainedMode) {
    if (faultActive(Fault::Direct3DRMCreate) || !retainedMode) {
        return kFail;
    }
    *retainedMode = new RetainedModeImpl;
    return kOk;
}

Result DirectDrawCreateClipper(uint32_t flags, Clipper** clipper, void* outer) {
    // Aggregation is not supported: `outer` must be null.
    if (faultActive(Fault::DirectDrawCreateClipper) || !clipper || outer) {
        return kFail;
    }
    *clipper = new ClipperImpl;
    return kOk;
}

Result DirectDrawCreate(const Guid* driver, DirectDraw** directDraw, void* outer) {
    if (faultActive(Fault::DirectDrawCreate) || !directDraw || outer) {
        return kFail;
    }
    *directDraw = new DirectDrawImpl;
    return kOk;
}

Result RetainedModeImpl::CreateFrame(Frame* parent, Frame** frame) {
    if (!frame) {
        return kFail;
    }
    *frame = new FrameImpl(static_cast<FrameImpl*>(parent));
    return kOk;
}

Result RetainedModeImpl::CreateMeshBuilder(MeshBuilder** builder) {
    if (!builder) {
        return kFail;
    }
    *builder = new MeshBuilderImpl;
    return kOk;
}

Result RetainedModeImpl::CreateTexture(const Image* image, Texture** texture) {
    if (faultActive(Fault::CreateTexture) || !image || !texture || !TextureImpl::isUsable(*image)) {
        return kFail;
    }
    *texture = new TextureImpl(*image, m_textureColors, m_textureShades);
    return kOk;
}

Result RetainedModeImpl::CreateDeviceFromClipper(Clipper* clipper, const Guid* guid, int width,
                                                 int height, Device** device) {
    if (faultActive(Fault::CreateDeviceFromClipper) || !clipper || !device) {
        return kFail;
    }
    auto* binding = static_cast<ClipperImpl*>(clipper);
    ColorModel model = ColorModel::RGB;
    if (guid) {
        if (sameGuid(*guid, kMonoDeviceGuid)) {
            model = ColorModel::Mono;
        } else if (!sameGuid(*guid, kRGBDeviceGuid)) {
            return kFail;
        }
    }
    // A side of 0 is the window's.
    if (binding->window() && width == 0) {
        width = binding->window()->targetWidth();
    }
    if (binding->window() && height == 0) {
        height = binding->window()->targetHeight();
    }
    if (width < 1 || height < 1 || width > kMaxDeviceSide || height > kMaxDeviceSide) {
        return kFail;
    }
    auto* created = new DeviceImpl(this, binding, model, width, height);
    m_devices.push_back(created);
    *device = created;
    return kOk;
}

void RetainedModeImpl::removeDevice(DeviceImpl* device) {
    std::erase(m_devices, device);
}

Result RetainedModeImpl::CreateViewport(Device* device, Frame* camera, int x, int y, int width,
                                        int height, Viewport** viewport) {
    if (!device || !camera || !viewport || x < 0 || y < 0 || width < 1 || height < 1) {
        return kFail;
    }
    // The rectangle must lie on the device (64-bit sums cannot wrap).
    if (int64_t(x) + width > device->GetWidth() || int64_t(y) + height > device->GetHeight()) {
        return kFail;
    }
    *viewport = new ViewportImpl(static_cast<DeviceImpl*>(device), static_cast<FrameImpl*>(camera),
                                 PixelRect{x, y, x + width, y + height});
    return kOk;
}

Result RetainedModeImpl::SetDefaultTextureColors(uint32_t colors) {
    if (colors < 1 || colors > 256) {
        return kFail;
    }
    m_textureColors = colors;
    return kOk;
}

Result RetainedModeImpl::SetDefaultTextureShades(uint32_t shades) {
    if (shades < 1 || shades > 256) {
        return kFail;
    }
    m_textureShades = shades;
    return kOk;
}

Result RetainedModeImpl::Tick(double delta) {
    // Nothing moves by itself in this engine, so delta only matters to the caller's pacing.
    // A window callback may release devices, or this object: keep them alive meanwhile.
    Ref<RetainedModeImpl> self(this);
    std::vector<Ref<DeviceImpl>> devices(m_devices.begin(), m_devices.end());
    for (auto& device : devices) {
        device->render();
    }
    return kOk;
}

} // namespace rm
