#include "XScreen.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Replies from xcb are malloc'ed blocks.
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> owned(T* p) {
    return Reply<T>(p, &std::free);
}

} // namespace

XScreen::XScreen(const std::string& display) {
    int nScreen = 0;
    xcb_connection_t* pConnection = xcb_connect(display.c_str(), &nScreen);
    if (xcb_connection_has_error(pConnection)) {
        xcb_disconnect(pConnection);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(pConnection));
    for (int i = 0; i < nScreen && it.rem > 0; ++i)
        xcb_screen_next(&it);
    m_pConnection = pConnection;
    m_pScreen = it.data;
}

XScreen::~XScreen() {
    if (m_pConnection != nullptr)
        xcb_disconnect(m_pConnection);
}

xcb_atom_t XScreen::atom(const char* pName) {
    auto reply = owned(xcb_intern_atom_reply(
        m_pConnection,
        xcb_intern_atom(m_pConnection, 0, static_cast<uint16_t>(std::strlen(pName)), pName),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string XScreen::windowName(xcb_window_t window) {
    // _NET_WM_NAME (UTF-8) first, the classic WM_NAME otherwise.
    for (xcb_atom_t property : {atom("_NET_WM_NAME"), xcb_atom_t(XCB_ATOM_WM_NAME)}) {
        auto reply =
            owned(xcb_get_property_reply(m_pConnection,
                                         xcb_get_property(m_pConnection, 0, window, property,
                                                          XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                                         nullptr));
        if (reply && xcb_get_property_value_length(reply.get()) > 0) {
            return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                               static_cast<size_t>(xcb_get_property_value_length(reply.get())));
        }
    }
    return {};
}

// Top-level windows come from the root's children, bottom of the stack first.
static std::vector<xcb_window_t> mappedTopLevels(xcb_connection_t* pConnection, xcb_window_t root) {
    std::vector<xcb_window_t> result;
    auto tree =
        owned(xcb_query_tree_reply(pConnection, xcb_query_tree(pConnection, root), nullptr));
    if (!tree)
        return result;
    const xcb_window_t* pChildren = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto attributes = owned(xcb_get_window_attributes_reply(
            pConnection, xcb_get_window_attributes(pConnection, pChildren[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            result.push_back(pChildren[i]);
    }
    return result;
}

xcb_window_t XScreen::findWindow(const std::string& caption) {
    if (!connected())
        return 0;
    for (xcb_window_t window : mappedTopLevels(m_pConnection, m_pScreen->root)) {
        if (windowName(window) == caption)
            return window;
    }
    return 0;
}

WindowRect XScreen::geometry(xcb_window_t window) {
    WindowRect rect;
    auto geometry = owned(
        xcb_get_geometry_reply(m_pConnection, xcb_get_geometry(m_pConnection, window), nullptr));
    if (!geometry)
        return rect;
    auto where = owned(xcb_translate_coordinates_reply(
        m_pConnection, xcb_translate_coordinates(m_pConnection, window, m_pScreen->root, 0, 0),
        nullptr));
    if (!where)
        return rect;
    rect = {where->dst_x, where->dst_y, geometry->width, geometry->height};
    return rect;
}

xcb_window_t XScreen::topmost() {
    if (!connected())
        return 0;
    const std::vector<xcb_window_t> windows = mappedTopLevels(m_pConnection, m_pScreen->root);
    return windows.empty() ? 0 : windows.back();
}

ScreenShot XScreen::grab(const WindowRect& rect) {
    ScreenShot shot;
    if (!connected() || rect.width <= 0 || rect.height <= 0)
        return shot;
    auto image = owned(xcb_get_image_reply(
        m_pConnection,
        xcb_get_image(m_pConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_pScreen->root,
                      static_cast<int16_t>(rect.x), static_cast<int16_t>(rect.y),
                      static_cast<uint16_t>(rect.width), static_cast<uint16_t>(rect.height), ~0u),
        nullptr));
    // The private server runs at depth 24: 32 bits a pixel, rows without padding.
    const size_t nWords = static_cast<size_t>(rect.width) * rect.height;
    if (!image || image->depth != 24 ||
        static_cast<size_t>(xcb_get_image_data_length(image.get())) < nWords * 4)
        return shot;
    shot.width = rect.width;
    shot.height = rect.height;
    shot.pixels.resize(nWords);
    std::memcpy(shot.pixels.data(), xcb_get_image_data(image.get()), nWords * 4);
    for (uint32_t& pixel : shot.pixels)
        pixel &= 0x00FFFFFF;
    return shot;
}

xcb_window_t XScreen::cover(const WindowRect& rect) {
    if (!connected())
        return 0;
    const xcb_window_t window = xcb_generate_id(m_pConnection);
    const uint32_t values[] = {m_pScreen->white_pixel, 1}; // background, override-redirect
    xcb_create_window(m_pConnection, XCB_COPY_FROM_PARENT, window, m_pScreen->root,
                      static_cast<int16_t>(rect.x), static_cast<int16_t>(rect.y),
                      static_cast<uint16_t>(rect.width), static_cast<uint16_t>(rect.height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, m_pScreen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    const char name[] = "cover";
    xcb_change_property(m_pConnection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, sizeof name - 1, name);
    xcb_map_window(m_pConnection, window);
    auto sync = owned(xcb_get_input_focus_reply(m_pConnection, xcb_get_input_focus(m_pConnection),
                                                nullptr)); // waits until the map was done
    return sync ? window : 0;
}

bool XScreen::requestClose(xcb_window_t window) {
    if (!connected())
        return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_pConnection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    return xcb_flush(m_pConnection) > 0;
}
