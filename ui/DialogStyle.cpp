#include "DialogStyle.h"

#include <QWidget>

// The pictures live in a static library: their resource data must be registered by hand.
static void InitPictures() {
    static const bool s_bDone = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)s_bDone;
}

namespace ui {

QPalette DialogPalette() {
    QPalette palette;
    const QColor grey(192, 192, 192);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, grey);
        palette.setColor(group, QPalette::Button, grey);
        palette.setColor(group, QPalette::Base, Qt::white);
    }
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, Qt::black);
        palette.setColor(group, QPalette::ButtonText, Qt::black);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    // Disabled controls (the display panel's text) are drawn in dark grey.
    const QColor dimmed(128, 128, 128);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Text, dimmed);
    return palette;
}

void ApplyDialogStyle(QWidget* pWidget) {
    pWidget->setPalette(DialogPalette());
    pWidget->setAutoFillBackground(true);
}

QPixmap Bitmap131() {
    InitPictures();
    return QPixmap(QStringLiteral(":/mimlet/bitmap131.png"));
}
QPixmap Bitmap132() {
    InitPictures();
    return QPixmap(QStringLiteral(":/mimlet/bitmap132.png"));
}
QIcon Icon128() {
    InitPictures();
    return QIcon(QStringLiteral(":/mimlet/icon128.png"));
}

} // namespace ui
