#pragma once
// A test's own connection to an X server, to look at the player the way a user would: find
// its top-level window by caption, read the pixels on the screen, see which window is on
// top, put another window over it, and ask it to close as a window manager's close box does.

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixels read from the screen: 0x00RRGGBB words, row by row.
struct ScreenShot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool empty() const { return pixels.empty(); }
};

struct WindowRect {
    int x = 0; // relative to the root window
    int y = 0;
    int width = 0;
    int height = 0;
};

class XScreen {
public:
    explicit XScreen(const std::string& display);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool connected() const { return m_pConnection != nullptr; }

    // The mapped top-level window whose WM_NAME is `caption`, or 0.
    xcb_window_t findWindow(const std::string& caption);
    // Where `window` is on the screen, or an empty rectangle when it is gone.
    WindowRect geometry(xcb_window_t window);
    // The mapped top-level window highest in the stacking order, or 0.
    xcb_window_t topmost();
    // The pixels of `rect` of the root window (what the screen shows there).
    ScreenShot grab(const WindowRect& rect);
    // Maps a plain white window of our own over `rect`, on top of every other; 0 on failure.
    xcb_window_t cover(const WindowRect& rect);
    // Sends `window` the WM_DELETE_WINDOW request that a window manager's close box sends.
    bool requestClose(xcb_window_t window);

private:
    xcb_atom_t atom(const char* pName);
    std::string windowName(xcb_window_t window);

    xcb_connection_t* m_pConnection = nullptr; // owned
    xcb_screen_t* m_pScreen = nullptr;         // owned by the connection
};
