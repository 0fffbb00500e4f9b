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

QFont DialogFont() {
    // The dialogs' rectangles were laid out for the classic 8-point dialog font at 96 dpi:
    // text 11 pixels high, lines 13 pixels apart, narrow letters ("Audio Level" in 59
    // pixels, the help text in four lines of 315). The desktop's default sans font is wider
    // and taller and cuts labels short. Liberation Sans at 11 pixels, drawn 95 % wide, keeps
    // every text of the templates whole.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setStretch(95);
    return font;
}

void ApplyDialogStyle(QWidget* pWidget) {
    pWidget->setPalette(DialogPalette());
    pWidget->setFont(DialogFont());
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
