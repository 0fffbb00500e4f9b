// The output side of the engine: clippers, devices, window devices, viewports, and the
// device search.

#include "engine/EngineObjects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace rm {

Result ClipperImpl::SetHWnd(uint32_t flags, WindowTarget* window) {
    if (faultActive(Fault::ClipperSetHWnd)) {
        return kFail;
    }
    m_window = window;
    return kOk;
}

DeviceImpl::DeviceImpl(RetainedModeImpl* owner, ClipperImpl* clipper, ColorModel model, int width,
                       int height)
    : m_owner(owner), m_clipper(clipper), m_colorModel(model), m_width(width), m_height(height),
      m_color(size_t(width) * size_t(height), 0xFF000000),
      m_depth(size_t(width) * size_t(height), std::numeric_limits<float>::infinity()) {}

DeviceImpl::~DeviceImpl() {
    m_owner->removeDevice(this);
}

Result DeviceImpl::SetQuality(uint32_t quality) {
    // Every quality is drawn as solid, flat-shaded faces.
    m_quality = quality;
    return kOk;
}

Result DeviceImpl::SetTextureQuality(uint32_t quality) {
    // Every texture quality is drawn with the nearest texel.
    m_textureQuality = quality;
    return kOk;
}

Result DeviceImpl::SetShades(uint32_t shades) {
    if (shades < 1 || shades > 256) {
        return kFail;
    }
    m_shades = shades;
    return kOk;
}

Result DeviceImpl::SetDither(int dither) {
    // With no lights every face is at full intensity, the top shade, which a dither leaves
    // as it is; the setting is kept for what the device reports.
    m_dither = dither != 0;
    return kOk;
}

Result DeviceImpl::QueryWinDevice(WinDevice** winDevice) {
    if (faultActive(Fault::QueryWinDevice) || !winDevice) {
        return kFail;
    }
    *winDevice = new WinDeviceImpl(this);
    return kOk;
}

void DeviceImpl::removeViewport(ViewportImpl* viewport) {
    std::erase(m_viewports, viewport);
}

void DeviceImpl::render() {
    RenderTarget target{m_color.data(), m_depth.data(), m_width, m_height};
    // A viewport's window callback may release objects: keep each viewport alive meanwhile.
    std::vector<Ref<ViewportImpl>> viewports(m_viewports.begin(), m_viewports.end());
    for (auto& viewport : viewports) {
        viewport->render(target);
    }
    present();
}

bool DeviceImpl::present() {
    WindowTarget* window = m_clipper->window();
    if (!window) {
        return false;
    }
    window->presentFrame(m_color.data(), m_width, m_height, m_width * int(sizeof(uint32_t)));
    return true;
}

Result WinDeviceImpl::HandlePaint() {
    if (faultActive(Fault::HandlePaint) || !m_device->present()) {
        return kFail;
    }
    return kOk;
}

Result WinDeviceImpl::HandleActivate(uint32_t state) {
    // Nothing depends on activation: the device has no palette of its own to realise.
    return faultActive(Fault::HandleActivate) ? kFail : kOk;
}

ViewportImpl::ViewportImpl(DeviceImpl* device, FrameImpl* camera, PixelRect rect)
    : m_device(device), m_camera(camera), m_rect(rect) {
    m_device->addViewport(this);
}

ViewportImpl::~ViewportImpl() {
    m_device->removeViewport(this);
}

Result ViewportImpl::SetProjection(ProjectionType type) {
    if (type == ProjectionType::Orthographic) {
        m_type = type;
        return kOk;
    }
    if (type == ProjectionType::Perspective && m_front > 0) {
        m_type = type;
        return kOk;
    }
    return kFail; // unknown, or a perspective with nothing in front of the camera
}

Result ViewportImpl::SetBack(float back) {
    if (!std::isfinite(back) || !(back > m_front)) {
        return kFail;
    }
    m_back = back;
    return kOk;
}

Result ViewportImpl::SetFront(float front) {
    if (!std::isfinite(front) || !(front < m_back) ||
        (m_type == ProjectionType::Perspective && !(front > 0))) {
        return kFail;
    }
    m_front = front;
    return kOk;
}

Result ViewportImpl::SetField(float field) {
    if (!std::isfinite(field) || !(field > 0)) {
        return kFail;
    }
    m_field = field;
    return kOk;
}

Projection ViewportImpl::projection() const {
    Projection p;
    p.perspective = m_type == ProjectionType::Perspective;
    const int w = m_rect.x1 - m_rect.x0;
    const int h = m_rect.y1 - m_rect.y0;
    // The field spans half the smaller side: pixels per view unit (orthographic), or per
    // unit of x/z, scaled by front because the field is measured at that distance.
    const float halfSide = float(std::min(w, h)) * 0.5f;
    p.scale = halfSide / m_field;
    if (p.perspective) {
        p.scale *= m_front;
    }
    p.centreX = float(m_rect.x0) + float(w) * 0.5f; // the view axis meets the rectangle's centre
    p.centreY = float(m_rect.y0) + float(h) * 0.5f;
    p.front = m_front;
    p.back = m_back;
    return p;
}

void ViewportImpl::render(RenderTarget& target) {
    FrameImpl* scene = m_camera->root();
    // Clear the rectangle to the scene's background and the farthest depth.
    const Color background = scene->GetSceneBackground();
    for (int y = m_rect.y0; y < m_rect.y1; ++y) {
        const size_t row = size_t(y) * size_t(target.width);
        std::fill(target.color + row + m_rect.x0, target.color + row + m_rect.x1, background);
        std::fill(target.depth + row + m_rect.x0, target.depth + row + m_rect.x1,
                  std::numeric_limits<float>::infinity());
    }
    // World -> camera coordinates, then every frame from the root down.
    const rm::Transform view = inverse(m_camera->worldTransform());
    scene->draw(target, m_rect, projection(), view, rm::Transform{});
}

Result Direct3DImpl::FindDevice(const FindDeviceSearch* search, FindDeviceResult* result) {
    if (faultActive(Fault::FindDevice) || !search || !result) {
        return kFail;
    }
    ColorModel model = ColorModel::RGB; // the first device, when the model does not matter
    if (search->dwFlags & kFindByColorModel) {
        model = search->dcmColorModel;
        if (model != ColorModel::Mono && model != ColorModel::RGB) {
            return kFail;
        }
    }
    result->guid = model == ColorModel::Mono ? kMonoDeviceGuid : kRGBDeviceGuid;
    result->colorModel = model;
    return kOk;
}

Result DirectDrawImpl::QueryDirect3D(Direct3D** direct3D) {
    if (faultActive(Fault::QueryDirect3D) || !direct3D) {
        return kFail;
    }
    *direct3D = new Direct3DImpl;
    return kOk;
}

} // namespace rm
