#include "MessageBoxSink.h"

#include "sys/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

namespace ui {

void InstallMessageBoxSink(QWidget* pOwner) {
    QPointer<QWidget> owner(pOwner);
    sys::setMessageSink([owner](const std::string& text) {
        const QString caption =
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        QMessageBox box(QMessageBox::Warning, caption, QString::fromStdString(text),
                        QMessageBox::Ok, owner.data());
        box.exec();
    });
}

} // namespace ui
