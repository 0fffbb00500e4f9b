#include "PlayerApp.h"

#include "DialogStyle.h"
#include "FaceView.h"
#include "MessageBoxSink.h"
#include "PlayerDlg.h"
#include "instance/SingleInstance.h"
#include "sys/Clock.h"
#include "sys/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QThread>

#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {
CPlayerApp* g_pApp = nullptr;
const char* const kCaption = "ZORVAN - Mimlet Player";
} // namespace

CPlayerApp* AfxGetApp() {
    return g_pApp;
}

CPlayerApp::CPlayerApp(int& argc, char** argv)
    : m_pApplication(std::make_unique<QApplication>(argc, argv)) {
    assert(g_pApp == nullptr);
    g_pApp = this;
    m_strLocation = CommandLineLocation(argc, argv);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_idleTimer, &QTimer::timeout, [this] { OnIdle(0); });
}

CPlayerApp::~CPlayerApp() {
    m_idleTimer.stop();
    CFaceView::Delete(m_pView);
    delete m_pDlg;
    m_pInstance.reset();
    if (m_pFrameLog != nullptr) {
        std::fclose(m_pFrameLog);
    }
    sys::setMessageSink(nullptr);
    CFaceView::SetEndedHandler(nullptr);
    g_pApp = nullptr;
}

std::string CPlayerApp::CommandLineLocation(int argc, char** argv) {
    std::string location;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            location += ' ';
        }
        location += QString::fromLocal8Bit(argv[i]).toStdString();
    }
    return location;
}

bool CPlayerApp::InitInstance() {
    m_pInstance = std::make_unique<instance::Instance>(kCaption);
    switch (m_pInstance->claim(m_strLocation)) {
    case instance::Role::HandedOver:
        m_pInstance.reset();
        m_nExitCode = 0;
        return false;
    case instance::Role::Failed:
        std::fprintf(stderr, "mimlet-player: %s\n", m_pInstance->error().c_str());
        m_pInstance.reset();
        m_nExitCode = 1;
        return false;
    case instance::Role::Alone:
        std::fprintf(stderr, "mimlet-player: running without the one-player check: %s\n",
                     m_pInstance->error().c_str());
        break;
    case instance::Role::Running:
        break;
    }

    // The player's dialogs and message boxes are light grey with black text in the dialog font.
    QApplication::setPalette(ui::DialogPalette());
    QApplication::setFont(ui::DialogFont());
    QApplication::setQuitOnLastWindowClosed(false);
    if (const char* pLog = std::getenv("MIMLET_FRAME_LOG"); pLog != nullptr && *pLog != '\0') {
        m_pFrameLog = std::fopen(pLog, "w");
    }

    m_pView = nullptr;
    CFaceView::SetEndedHandler([this](CFaceView* pView) {
        if (m_pView == pView) {
            m_pView = nullptr;
        }
    });
    m_pDlg = new CPlayerDlg(m_pView);
    m_pDlg->Create();
    // For tests that run the player unattended: MIMLET_MESSAGES=stderr prints each message
    // on a line of the standard error instead of opening a box that waits for a click.
    if (const char* pMessages = std::getenv("MIMLET_MESSAGES");
        pMessages == nullptr || std::strcmp(pMessages, "stderr") != 0) {
        ui::InstallMessageBoxSink(m_pDlg);
    }
    m_pInstance->setHandler([this](const std::string& strLocation) {
        m_pDlg->raise();
        m_pDlg->activateWindow();
        if (!strLocation.empty()) {
            HandOff(strLocation);
        }
    });

    // The command-line location takes the same way as one handed over by a second launch.
    if (!m_strLocation.empty()) {
        HandOff(m_strLocation);
    }
    ScheduleIdle();
    return true;
}

void CPlayerApp::HandOff(const std::string& strLocation) {
    auto* pCarrier = m_pDlg->findChild<QLabel*>(QStringLiteral("1025"));
    pCarrier->setText(QString::fromStdString(strLocation));
    m_pDlg->OnHandOff();
}

bool CPlayerApp::OnIdle(long lCount) {
    // Inside a nested loop (a modal window open, a load running) the face stands still;
    // the timer is armed again and looks once more a frame later.
    const bool bNested =
        QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget() != nullptr;
    if (!bNested && m_pView != nullptr && !m_pDlg->IsClosed()) {
        m_pView->Tick();
        const uint32_t dwFrame = CFaceView::LastFrameTime();
        if (m_pFrameLog != nullptr && dwFrame != m_dwLoggedFrame) {
            m_dwLoggedFrame = dwFrame;
            std::fprintf(m_pFrameLog, "%u\n", dwFrame);
            std::fflush(m_pFrameLog);
        }
    }
    ScheduleIdle();
    return true;
}

void CPlayerApp::ScheduleIdle() {
    if (m_pDlg == nullptr || m_pDlg->IsClosed()) {
        return;
    }
    // Sleep until 41 ms after the last frame began (differences modulo 2^32); at least 1 ms,
    // and a whole period when no frame is due yet, so the loop never spins.
    const uint32_t dwElapsed = sys::timeGetTime() - CFaceView::LastFrameTime();
    int nDelay = kFramePeriodMs;
    if (dwElapsed < static_cast<uint32_t>(kFramePeriodMs)) {
        nDelay = kFramePeriodMs - static_cast<int>(dwElapsed);
    }
    m_idleTimer.start(nDelay);
}

int CPlayerApp::ExitInstance() {
    m_idleTimer.stop();
    if (m_pView != nullptr) {
        CFaceView* pView = m_pView;
        m_pView = nullptr; // the dialog's activation handler may look while it goes
        CFaceView::Delete(pView);
    }
    if (m_pDlg != nullptr) {
        CPlayerDlg* pDlg = m_pDlg;
        m_pDlg = nullptr;
        delete pDlg;
    }
    m_pInstance.reset();
    return m_nExitCode;
}

int CPlayerApp::Run() {
    if (!InitInstance()) {
        return ExitInstance();
    }
    m_nExitCode = QApplication::exec();
    return ExitInstance();
}
