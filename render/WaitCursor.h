#pragma once
// The application's wait cursor for as long as the guard lives, on every way out of a
// scope. Needs a QApplication; without one (a tool, a window-free test) it does nothing.

#include <QApplication>
#include <QCursor>

class CWaitCursor {
public:
    CWaitCursor()
        : m_bActive(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        if (m_bActive)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~CWaitCursor() {
        if (m_bActive)
            QApplication::restoreOverrideCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    bool m_bActive = false;
};
