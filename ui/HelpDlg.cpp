#include "HelpDlg.h"

#include "DialogStyle.h"
#include "DialogUnits.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* AddLabel(QWidget* pParent, const char* pId, const QString& text, const QRect& rect) {
    auto* pLabel = new QLabel(text, pParent);
    pLabel->setObjectName(QString::fromLatin1(pId));
    pLabel->setGeometry(rect);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pLabel->setWordWrap(true);
    return pLabel;
}

QLabel* AddPicture(QWidget* pParent, const char* pId, const QPixmap& picture, const QRect& rect) {
    auto* pLabel = AddLabel(pParent, pId, QString(), rect);
    pLabel->setPixmap(picture);
    return pLabel;
}

} // namespace

CHelpDlg::CHelpDlg(QWidget* pParent) : QDialog(pParent) {
    using ui::DialogRect;
    setWindowTitle(QStringLiteral("Help on the MIMLET player."));
    setFixedSize(DialogRect(0, 0, 302, 113).size());
    ui::ApplyDialogStyle(this);

    // Controls in template order: that is also the tab order. Controls without an id in
    // the template are named for their role.
    auto* pClose = new QPushButton(QStringLiteral("Close"), this);
    pClose->setObjectName(QStringLiteral("1"));
    pClose->setGeometry(DialogRect(245, 10, 50, 14));
    pClose->setDefault(true);
    connect(pClose, &QPushButton::clicked, this, &QDialog::accept);

    AddPicture(this, "bitmap131", ui::Bitmap131(), DialogRect(7, 72, 73, 34));
    AddPicture(this, "bitmap132", ui::Bitmap132(), DialogRect(242, 73, 54, 33));
    AddLabel(this, "contact",
             QStringLiteral("The Mimlet project\nmimlet@example.org\nhttps://mimlet.example.org/"),
             DialogRect(90, 73, 142, 33));
    auto* pFrame = new QGroupBox(this);
    pFrame->setObjectName(QStringLiteral("frame"));
    pFrame->setGeometry(DialogRect(5, 5, 230, 60));
    AddLabel(this, "description",
             QStringLiteral("ZORVAN presents the MIMLET Player. Made by the Mimlet project.\n\n"
                            "For further details on how to use this program, read the document "
                            "files supplied accessible from the Windows Start Menu."),
             DialogRect(15, 20, 210, 35));
    AddPicture(this, "icon128", ui::Icon128().pixmap(32, 32), DialogRect(261, 30, 21, 20));
    AddLabel(this, "version", QStringLiteral("version 1.10"), DialogRect(250, 53, 39, 10));

    pClose->setFocus();
}

CHelpDlg::~CHelpDlg() = default;
