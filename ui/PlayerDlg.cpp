#include "PlayerDlg.h"

#include "DialogStyle.h"
#include "DialogUnits.h"
#include "HelpDlg.h"

#include "FaceCheck.h"
#include "FaceLoader.h"
#include "FaceView.h"
#include "WaitCursor.h"
#include "sys/MessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>

#include <cstdlib>

namespace {

constexpr uint32_t kColourModelMono = 1;
constexpr int kIconSize = 32; // pixels, both ways

template <typename T> T* AddControl(QWidget* pParent, const char* pId, const QRect& rect) {
    auto* pControl = new T(pParent);
    pControl->setObjectName(QString::fromLatin1(pId));
    pControl->setGeometry(rect);
    return pControl;
}

QLabel* AddPicture(QWidget* pParent, const char* pId, const QPixmap& picture, const QRect& rect) {
    auto* pLabel = AddControl<QLabel>(pParent, pId, rect);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pLabel->setPixmap(picture);
    return pLabel;
}

QPushButton* AddButton(QWidget* pParent, const char* pId, const QString& text, const QRect& rect) {
    auto* pButton = AddControl<QPushButton>(pParent, pId, rect);
    pButton->setText(text);
    pButton->setAutoDefault(false);
    return pButton;
}

} // namespace

CPlayerDlg::CPlayerDlg(CFaceView*& rpView, QWidget* pParent)
    : QDialog(pParent), m_rpView(rpView), m_fileChooser(&CPlayerDlg::DefaultFileChooser) {
    using ui::DialogRect;
    setWindowTitle(QStringLiteral("ZORVAN - Mimlet Player"));
    // A fixed frame with a minimise box and no maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(DialogRect(0, 0, 212, 231).size());
    setModal(false);
    ui::ApplyDialogStyle(this);
    m_hIcon = ui::Icon128();

    // Controls in template order, which is also the tab order.
    m_pPanel = AddControl<QLabel>(this, "1002", DialogRect(5, 5, 200, 145));
    m_pPanel->setText(QStringLiteral("ZORVAN presents MIMLET TECHNOLOGY.\n\nNo File Loaded....\n\n"
                                     "Click on the Help button for more infomation."));
    m_pPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken); // a one-pixel static edge
    m_pPanel->setLineWidth(1);
    m_pPanel->setAlignment(Qt::AlignCenter);
    m_pPanel->setWordWrap(true);
    m_pPanel->setEnabled(false);

    AddPicture(this, "1023", ui::Bitmap131(), DialogRect(5, 190, 73, 34));
    AddPicture(this, "1024", ui::Bitmap132(), DialogRect(150, 190, 54, 33));

    auto* pBrowse = AddButton(this, "1014", QStringLiteral("Browse"), DialogRect(170, 155, 35, 15));
    connect(pBrowse, &QPushButton::clicked, this, [this] { OnBrowse(); });

    m_editLocation = AddControl<QLineEdit>(this, "1015", DialogRect(5, 155, 160, 15));
    // Room for any location a second launch can hand over (64 KiB), so none is cut short.
    m_editLocation->setMaxLength(64 * 1024);

    m_slider = AddControl<QSlider>(this, "1003", DialogRect(45, 175, 123, 9));
    m_slider->setOrientation(Qt::Horizontal);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setAccessibleName(QStringLiteral("Slider1"));
    // Only the thumb changes the thresholds: while it is dragged and when it is let go.
    connect(m_slider, &QSlider::sliderMoved, this,
            [this](int nPos) { OnHScroll(TB_THUMBTRACK, static_cast<unsigned>(nPos)); });
    connect(m_slider, &QSlider::sliderReleased, this,
            [this] { OnHScroll(TB_THUMBPOSITION, static_cast<unsigned>(m_slider->value())); });

    auto* pLevel = AddControl<QLabel>(this, "1022", DialogRect(5, 175, 39, 10));
    pLevel->setText(QStringLiteral("Audio Level"));

    m_chkSmall = AddControl<QCheckBox>(this, "1018", DialogRect(170, 175, 35, 10));
    m_chkSmall->setText(QStringLiteral("Small"));
    m_chkSmall->setLayoutDirection(Qt::RightToLeft); // text left of the box
    connect(m_chkSmall, &QCheckBox::clicked, this, [this] { OnSmall(); });

    auto* pHelp = AddButton(this, "1009", QStringLiteral("Help"), DialogRect(95, 210, 35, 15));
    connect(pHelp, &QPushButton::clicked, this, [this] { OnHelpButton(); });

    m_pDefault = AddButton(this, "1019", QStringLiteral("OK"), DialogRect(100, 190, 20, 15));
    m_pDefault->setDefault(true);
    m_pDefault->hide();
    connect(m_pDefault, &QPushButton::clicked, this, [this] { OnLoad(); });

    m_pHandOff = AddControl<QLabel>(this, "1025", DialogRect(78, 186, 11, 6));
    m_pHandOff->setText(QStringLiteral("Static"));
    m_pHandOff->hide();

    for (QWidget* pStatic : findChildren<QLabel*>()) {
        pStatic->setFocusPolicy(Qt::NoFocus);
    }
    setTabOrder(pBrowse, m_editLocation);
    setTabOrder(m_editLocation, m_slider);
    setTabOrder(m_slider, m_chkSmall);
    setTabOrder(m_chkSmall, pHelp);

    auto* pF1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(pF1, &QShortcut::activated, this, [this] { OnHelpButton(); });
}

CPlayerDlg::~CPlayerDlg() {
    std::free(m_pFaceBuffer);
}

void CPlayerDlg::Create() {
    OnInitDialog();
    move(0, 0);
    show();
    // The first tab stop that can take the focus: Browse.
    findChild<QPushButton*>(QStringLiteral("1014"))->setFocus();
}

bool CPlayerDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    m_slider->setRange(1, 32767);
    m_slider->setSingleStep(328);
    m_slider->setPageStep((32767 - 1) / 5); // a trackbar's default page: a fifth of its range
    m_slider->setValue(22000);              // a new view's thresholds, 22,000 and 2,000, match it
    std::free(m_pFaceBuffer);
    m_pFaceBuffer = static_cast<uint8_t*>(std::malloc(kFaceBufferBytes));
    m_strLastGood.clear();
    m_rcPanel = QRect(QPoint(0, 0), m_pPanel->contentsRect().size());
    return true;
}

bool CPlayerDlg::LoadLocation(const std::string& strLocation) {
    if (m_pFaceBuffer == nullptr) {
        return false;
    }
    CWaitCursor wait;
    return LoadFaceLocation(strLocation, m_pFaceBuffer).accepted;
}

void CPlayerDlg::OnLoad() {
    if (m_bClosed) {
        return;
    }
    m_strLocation = m_editLocation->text().toStdString();
    if (m_strLocation.empty()) {
        return;
    }
    if (!LoadLocation(m_strLocation)) {
        sys::showMessage("Could not load '" + m_strLocation + "'");
        m_strLocation = m_strLastGood;
        m_editLocation->setText(QString::fromStdString(m_strLocation));
        return;
    }
    m_strLastGood = m_strLocation;
    ReplaceView();
}

void CPlayerDlg::ReplaceView() {
    if (CFaceView* pOld = m_rpView) {
        m_rpView = nullptr;
        // A hand-off can come while the old view waits on a message box of its own.
        CFaceView::Delete(pOld);
    }
    // The view covers the panel's client area less a 2-pixel margin on every side.
    const QRect client = m_pPanel->contentsRect();
    CFaceView* pView =
        CFaceView::Create(m_pPanel, client.x() + 2, client.y() + 2, client.width() - 4,
                          client.height() - 4, kColourModelMono, m_strLocation, m_pFaceBuffer);
    // A load that ran while this view was being built (a hand-off during a message box of
    // its constructor) has stored a newer view, made from what the buffer holds now: keep
    // that one. After a close nothing may show the buffer any more.
    if (m_rpView != nullptr || m_bClosed) {
        CFaceView::Delete(pView);
        return;
    }
    m_rpView = pView;
}

QString CPlayerDlg::DefaultFileChooser(QWidget* pParent) {
    QFileDialog dialog(pParent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Mimlet Face Files (*.mf)"), QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("mf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void CPlayerDlg::OnBrowse() {
    if (m_bClosed) {
        return;
    }
    const QString path = m_fileChooser(this);
    if (path.isEmpty() || m_bClosed) {
        return;
    }
    m_strLocation = path.toStdString();
    m_editLocation->setText(path);
    OnLoad();
}

long CPlayerDlg::OnHandOff() {
    const QString location = m_pHandOff->text();
    m_strLocation = location.toStdString();
    m_editLocation->setText(location);
    OnLoad();
    return 0;
}

void CPlayerDlg::OnSmall() {
    if (m_bClosed) {
        return;
    }
    const int R = m_rcPanel.width();
    const int B = m_rcPanel.height();
    if (m_chkSmall->isChecked()) {
        // Half size, centred on the area of the full panel.
        m_pPanel->setGeometry(R / 4 + 10, B / 4 + 10, R / 2, B / 2);
    } else {
        m_pPanel->setGeometry(10, 10, R, B);
    }
    if (m_rpView == nullptr) {
        return;
    }
    // The face is rebuilt at the new size from the buffer; the location is not read again.
    ReplaceView();
}

void CPlayerDlg::OnHScroll(unsigned nSBCode, unsigned nPos) {
    if ((nSBCode == TB_THUMBPOSITION || nSBCode == TB_THUMBTRACK) && m_rpView != nullptr) {
        m_rpView->SetLoudnessThreshold(static_cast<int>(nPos));
    }
}

void CPlayerDlg::OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized) {
    if (m_rpView != nullptr && !m_bClosed) {
        m_rpView->OnActivate(nState, pWndOther, bMinimized);
    }
}

void CPlayerDlg::OnClose() {
    if (m_bClosed) {
        return;
    }
    m_bClosed = true;
    // Hidden, the view gets no more paints, so a first paint cannot reach the freed buffer.
    hide();
    std::free(m_pFaceBuffer);
    m_pFaceBuffer = nullptr;
    // Like a posted quit: the main loop ends once it is back in control.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void CPlayerDlg::OnHelpButton() {
    CHelpDlg help(this);
    help.exec();
}

bool CPlayerDlg::event(QEvent* pEvent) {
    switch (pEvent->type()) {
    case QEvent::WindowActivate:
        OnActivate(WA_ACTIVE, nullptr, isMinimized());
        return true;
    case QEvent::WindowDeactivate:
        OnActivate(WA_INACTIVE, nullptr, isMinimized());
        return true;
    default:
        return QDialog::event(pEvent);
    }
}

void CPlayerDlg::paintEvent(QPaintEvent* pEvent) {
    if (!isMinimized()) {
        QDialog::paintEvent(pEvent);
        return;
    }
    // Minimised: the icon on the dialog's background, centred.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const int x = (width() - kIconSize + 1) / 2;
    const int y = (height() - kIconSize + 1) / 2;
    painter.drawPixmap(x, y, m_hIcon.pixmap(kIconSize, kIconSize));
}

void CPlayerDlg::closeEvent(QCloseEvent* pEvent) {
    OnClose();
    pEvent->ignore(); // the window lives on until the application deletes it
}

void CPlayerDlg::keyPressEvent(QKeyEvent* pEvent) {
    const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
    // The keypad's Enter arrives with the keypad modifier; it is the same key to the user.
    if (bEnter && (pEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // Enter presses the push button that has the focus, else the hidden default one.
        auto* pFocused = qobject_cast<QPushButton*>(focusWidget());
        (pFocused != nullptr && pFocused->isVisible() ? pFocused : m_pDefault)->click();
        return;
    }
    // Escape falls to reject(), which keeps the player open.
    QDialog::keyPressEvent(pEvent);
}

void CPlayerDlg::reject() {
    // Escape must not hide the player's only window: nothing happens.
}
