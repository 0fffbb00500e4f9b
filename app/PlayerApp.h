#pragma once
// The player's application object: owns the QApplication, makes sure one player runs,
// creates the main dialog, owns the current face view and drives its animation from the
// main loop's idle time.
//
// The idle loop: between frames the main loop sleeps on a single-shot precise timer until
// the next frame is due (41 ms after the last frame began), then OnIdle ticks the view. The
// tick never runs inside a nested loop (a message box, the Open dialog, the help dialog) or
// during a load, so the face stands still until those return.

#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CFaceView;
class CPlayerDlg;
class QApplication;

namespace instance {
class Instance;
}

class CPlayerApp {
public:
    static constexpr int kFramePeriodMs = 41; // a frame runs when more than 40 ms have passed

    // Constructs the QApplication, which takes its own options out of argv.
    CPlayerApp(int& argc, char** argv);
    ~CPlayerApp();
    CPlayerApp(const CPlayerApp&) = delete;
    CPlayerApp& operator=(const CPlayerApp&) = delete;

    // True when this process is the running player and its main dialog is up; false when
    // the location went to the player that already runs (or could not go there).
    bool InitInstance();
    // Ticks the view; always asks for more idle time.
    bool OnIdle(long lCount);
    // Deletes the view, then the dialog; the process's exit code.
    int ExitInstance();

    // InitInstance, the main loop, ExitInstance: the process's exit code.
    int Run();

    // The location on the command line: the arguments after the program name joined by
    // single spaces, empty when there are none.
    static std::string CommandLineLocation(int argc, char** argv);

    CFaceView* m_pView = nullptr; // owned; null when no face is shown
    CPlayerDlg* m_pDlg = nullptr; // owned; null until InitInstance made it

private:
    void ScheduleIdle();
    void HandOff(const std::string& strLocation);

    std::unique_ptr<QApplication> m_pApplication;
    std::unique_ptr<instance::Instance> m_pInstance; // null for a second launch
    std::string m_strLocation;                       // from the command line
    QTimer m_idleTimer;                              // single shot, precise
    int m_nExitCode = 0;                             // of a launch that handed over
    FILE* m_pFrameLog = nullptr;                     // $MIMLET_FRAME_LOG: one line per frame
    uint32_t m_dwLoggedFrame = 0;                    // ms, the last frame written there
};

// The one application object of the process, or null.
CPlayerApp* AfxGetApp();
