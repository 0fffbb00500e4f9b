// The main dialog and the help dialog driven as a user drives them (offscreen).

#include "PlayerDlg.h"
#include "DialogUnits.h"
#include "FaceView.h"
#include "HelpDlg.h"
#include "sys/MessageBox.h"

#include "FaceBytes.h"
#include "TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

// One QApplication for the whole run, gone before the exit-time destructors run (Qt's
// input devices must not outlive it).
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test-player-dlg";
        static char* argv[] = {name, nullptr};
        s_pApp = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete s_pApp;
        s_pApp = nullptr;
    }
    static QApplication* s_pApp;
};
QApplication* QtEnvironment::s_pApp = nullptr;
const auto* const s_pEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QApplication& app() {
    return *QtEnvironment::s_pApp;
}

// Runs `action` on the next modal window that opens, from the event loop that shows it.
void OnNextModal(std::function<void(QWidget*)> action) {
    auto* pTimer = new QTimer(&app());
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, action] {
        if (QWidget* pModal = QApplication::activeModalWidget()) {
            pTimer->stop();
            pTimer->deleteLater();
            action(pModal);
        }
    });
    pTimer->start(10);
}

class PlayerDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        m_previousSink =
            sys::setMessageSink([this](const std::string& text) { m_messages.push_back(text); });
        CFaceView::s_onConstruct = nullptr;
        m_pDlg = std::make_unique<CPlayerDlg>(m_pView);
        m_pDlg->Create();
        m_goodFace = MakeFaceBytes(SmallFaceSpec());
    }
    void TearDown() override {
        delete m_pView;
        m_pView = nullptr;
        m_pDlg.reset();
        CFaceView::s_onConstruct = nullptr;
        sys::setMessageSink(m_previousSink);
        EXPECT_EQ(CFaceView::s_nLive, 0) << "a view was left behind";
    }

    template <typename T> T* Control(const char* pId) {
        T* p = m_pDlg->findChild<T*>(QString::fromLatin1(pId));
        EXPECT_NE(p, nullptr) << pId;
        return p;
    }
    QLineEdit* Edit() { return Control<QLineEdit>("1015"); }
    QLabel* Panel() { return Control<QLabel>("1002"); }

    // Types the location into the edit box and presses Enter there (the main one unless
    // told otherwise).
    void TypeAndEnter(const std::string& location, Qt::Key key = Qt::Key_Return,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        Edit()->setFocus();
        Edit()->selectAll();
        QTest::keyClicks(Edit(), QString::fromStdString(location));
        QTest::keyClick(Edit(), key, modifiers);
    }

    // Drags the slider's thumb by dx pixels with the mouse.
    void DragThumb(int dx) {
        QSlider* pSlider = m_pDlg->m_slider;
        QStyleOptionSlider option;
        option.initFrom(pSlider);
        option.orientation = pSlider->orientation();
        option.minimum = pSlider->minimum();
        option.maximum = pSlider->maximum();
        option.sliderPosition = pSlider->sliderPosition();
        option.sliderValue = pSlider->value();
        const QRect handle = pSlider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                              QStyle::SC_SliderHandle, pSlider);
        const QPoint from = handle.center();
        QTest::mousePress(pSlider, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(pSlider, from + QPoint(dx / 2, 0));
        QTest::mouseMove(pSlider, from + QPoint(dx, 0));
        QTest::mouseRelease(pSlider, Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
    }

    CFaceView* m_pView = nullptr;
    std::unique_ptr<CPlayerDlg> m_pDlg;
    std::vector<std::string> m_messages;
    sys::MessageSink m_previousSink;
    TempDir m_dir;
    std::vector<uint8_t> m_goodFace;
};

TEST_F(PlayerDlgTest, StartsWithTheTemplatesControlsAndNoFace) {
    EXPECT_EQ(m_pDlg->windowTitle(), "ZORVAN - Mimlet Player");
    EXPECT_EQ(m_pDlg->size(), QSize(318, 375));
    EXPECT_TRUE(m_pDlg->isVisible());
    EXPECT_FALSE(m_pDlg->isModal());
    EXPECT_EQ(m_pDlg->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(m_pDlg->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    struct Expected {
        const char* id;
        QRect rect; // pixels
        const char* text;
        bool visible;
    };
    const std::vector<Expected> controls = {
        {"1002", QRect(8, 8, 300, 236),
         "ZORVAN presents MIMLET TECHNOLOGY.\n\nNo File Loaded....\n\nClick on the Help button "
         "for more infomation.",
         true},
        {"1023", QRect(8, 309, 110, 55), nullptr, true},
        {"1024", QRect(225, 309, 81, 54), nullptr, true},
        {"1014", QRect(255, 252, 53, 24), "Browse", true},
        {"1015", QRect(8, 252, 240, 24), "", true},
        {"1003", QRect(68, 284, 185, 15), nullptr, true},
        {"1022", QRect(8, 284, 59, 16), "Audio Level", true},
        {"1018", QRect(255, 284, 53, 16), "Small", true},
        {"1009", QRect(143, 341, 53, 24), "Help", true},
        {"1019", QRect(150, 309, 30, 24), "OK", false},
        {"1025", QRect(117, 302, 17, 10), "Static", false},
    };
    for (const auto& c : controls) {
        QWidget* pControl = m_pDlg->findChild<QWidget*>(c.id);
        ASSERT_NE(pControl, nullptr) << c.id;
        EXPECT_EQ(pControl->geometry(), c.rect) << c.id;
        EXPECT_EQ(pControl->isVisible(), c.visible) << c.id;
        if (c.text != nullptr) {
            QString text;
            if (auto* p = qobject_cast<QLabel*>(pControl))
                text = p->text();
            else if (auto* p = qobject_cast<QAbstractButton*>(pControl))
                text = p->text();
            else if (auto* p = qobject_cast<QLineEdit*>(pControl))
                text = p->text();
            EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.id;
        }
    }
    EXPECT_FALSE(Panel()->isEnabled());
    EXPECT_FALSE(Control<QLabel>("1023")->pixmap().isNull());
    EXPECT_FALSE(Control<QLabel>("1024")->pixmap().isNull());

    QSlider* pSlider = m_pDlg->m_slider;
    EXPECT_EQ(pSlider->minimum(), 1);
    EXPECT_EQ(pSlider->maximum(), 32767);
    EXPECT_EQ(pSlider->value(), 22000);
    EXPECT_EQ(pSlider->singleStep(), 328);
    EXPECT_EQ(pSlider->pageStep(), 6553);
    EXPECT_FALSE(m_pDlg->m_chkSmall->isChecked());
    EXPECT_EQ(m_pDlg->m_rcPanel, QRect(0, 0, 298, 234)); // client area inside the edge
    EXPECT_NE(m_pDlg->m_pFaceBuffer, nullptr);
    EXPECT_EQ(m_pView, nullptr);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PlayerDlgTest, EnterWithAnEmptyBoxDoesNothing) {
    TypeAndEnter("");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_pView, nullptr);
}

struct EnterKey {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

class PlayerDlgEnterTest : public PlayerDlgTest, public testing::WithParamInterface<EnterKey> {};

TEST_P(PlayerDlgEnterTest, EnterLoadsTheTypedLocation) {
    const std::string path = m_dir.writeFile("a face.mf", m_goodFace);
    TypeAndEnter(path, GetParam().key, GetParam().modifiers);
    EXPECT_TRUE(m_messages.empty());
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->parentWidget(), Panel());
    // Over the panel's client area (inside its 1-pixel edge) less 2 pixels on every side.
    EXPECT_EQ(m_pView->geometry(), QRect(3, 3, 294, 230));
    EXPECT_EQ(m_pView->m_strLocation, path);
    EXPECT_EQ(std::memcmp(m_pDlg->m_pFaceBuffer, m_goodFace.data(), m_goodFace.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, PlayerDlgEnterTest,
                         testing::Values(EnterKey{"Main", Qt::Key_Return, Qt::NoModifier},
                                         EnterKey{"Keypad", Qt::Key_Enter, Qt::KeypadModifier}),
                         [](const testing::TestParamInfo<EnterKey>& info) {
                             return info.param.name;
                         });

TEST_F(PlayerDlgTest, ALocationThatCannotBeLoadedIsReportedAndTheLastGoodOneRestored) {
    const std::string good = m_dir.writeFile("good.mf", m_goodFace);
    std::vector<uint8_t> newer = m_goodFace;
    newer[2] = 101;
    struct Case {
        std::string location;
        std::vector<std::string> messages;
    };
    const std::string missing = m_dir.path() + "/missing.mf";
    const std::string newerPath = m_dir.writeFile("newer.mf", newer);
    const std::string notFace = m_dir.writeFile("text.mf", {'m', 'f', 1, 0});
    const std::vector<Case> cases = {
        {missing, {"Could not load '" + missing + "'"}},
        {newerPath,
         {"You need upgrade your Mimlet Player to load this file.",
          "Could not load '" + newerPath + "'"}},
        {notFace, {"Could not load '" + notFace + "'"}},
    };

    // Before any success the box is emptied.
    TypeAndEnter(missing);
    EXPECT_EQ(m_messages, std::vector<std::string>{"Could not load '" + missing + "'"});
    EXPECT_EQ(Edit()->text(), "");

    TypeAndEnter(good);
    CFaceView* pShown = m_pView;
    ASSERT_NE(pShown, nullptr);
    for (const auto& c : cases) {
        m_messages.clear();
        TypeAndEnter(c.location);
        EXPECT_EQ(m_messages, c.messages) << c.location;
        EXPECT_EQ(Edit()->text().toStdString(), good) << c.location;
        EXPECT_EQ(m_pView, pShown) << "the face on show stays";
        EXPECT_EQ(std::memcmp(m_pDlg->m_pFaceBuffer, m_goodFace.data(), m_goodFace.size()), 0);
    }
}

TEST_F(PlayerDlgTest, BrowseThenCancelChangesNothing) {
    Edit()->setText("typed");
    QStringList filters;
    QString suffix;
    OnNextModal([&](QWidget* pModal) {
        auto* pOpen = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pOpen, nullptr);
        filters = pOpen->nameFilters();
        suffix = pOpen->defaultSuffix();
        pOpen->reject();
    });
    QTest::mouseClick(Control<QPushButton>("1014"), Qt::LeftButton);
    EXPECT_EQ(filters, QStringList({"Mimlet Face Files (*.mf)", "All Files (*)"}));
    EXPECT_EQ(suffix, "mf");
    EXPECT_EQ(Edit()->text(), "typed");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(m_pView, nullptr);
}

TEST_F(PlayerDlgTest, BrowseLoadsTheChosenFile) {
    const std::string path = m_dir.writeFile("chosen.mf", m_goodFace);
    m_pDlg->SetFileChooser([&](QWidget*) { return QString::fromStdString(path); });
    QTest::mouseClick(Control<QPushButton>("1014"), Qt::LeftButton);
    EXPECT_EQ(Edit()->text().toStdString(), path);
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->m_strLocation, path);
}

TEST_F(PlayerDlgTest, SmallWithoutAFaceOnlyMovesThePanel) {
    QCheckBox* pSmall = m_pDlg->m_chkSmall;
    // R = 298, B = 234: the panel's client size at start.
    QTest::mouseClick(pSmall, Qt::LeftButton);
    EXPECT_TRUE(pSmall->isChecked());
    EXPECT_EQ(Panel()->geometry(), QRect(298 / 4 + 10, 234 / 4 + 10, 149, 117));
    EXPECT_EQ(m_pView, nullptr);
    QTest::mouseClick(pSmall, Qt::LeftButton);
    EXPECT_EQ(Panel()->geometry(), QRect(10, 10, 298, 234));
    EXPECT_EQ(m_pView, nullptr);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PlayerDlgTest, SmallRebuildsTheFaceFromTheBufferEvenAfterTheFileWentAway) {
    const std::string path = m_dir.writeFile("gone.mf", m_goodFace);
    TypeAndEnter(path);
    ASSERT_NE(m_pView, nullptr);
    std::filesystem::remove(path);

    QPointer<CFaceView> pBefore = m_pView;
    QTest::mouseClick(m_pDlg->m_chkSmall, Qt::LeftButton);
    EXPECT_TRUE(pBefore.isNull()) << "the old view is deleted";
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->geometry(), QRect(3, 3, 149 - 2 - 4, 117 - 2 - 4));
    EXPECT_EQ(m_pView->m_strLocation, path);
    EXPECT_EQ(m_pView->m_pFaceBuffer, m_pDlg->m_pFaceBuffer);
    EXPECT_EQ(std::memcmp(m_pDlg->m_pFaceBuffer, m_goodFace.data(), m_goodFace.size()), 0);
    EXPECT_TRUE(m_messages.empty());

    QTest::mouseClick(m_pDlg->m_chkSmall, Qt::LeftButton);
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->geometry(), QRect(3, 3, 298 - 2 - 4, 234 - 2 - 4));
    EXPECT_EQ(CFaceView::s_nLive, 1);
}

TEST_F(PlayerDlgTest, OnlyDraggingTheThumbChangesTheThresholds) {
    TypeAndEnter(m_dir.writeFile("a.mf", m_goodFace));
    ASSERT_NE(m_pView, nullptr);
    QSlider* pSlider = m_pDlg->m_slider;

    pSlider->setFocus();
    QTest::keyClick(pSlider, Qt::Key_Right);
    QTest::keyClick(pSlider, Qt::Key_PageUp);
    QTest::keyClick(pSlider, Qt::Key_Home);
    EXPECT_NE(pSlider->value(), 22000) << "the keys move the thumb";
    EXPECT_EQ(m_pView->m_fLoudThreshold, 22000.0f);
    EXPECT_EQ(m_pView->m_fQuietThreshold, 2000.0f);

    DragThumb(60);
    const int nDragged = pSlider->value();
    EXPECT_GT(nDragged, 1);
    EXPECT_EQ(m_pView->m_fLoudThreshold, static_cast<float>(nDragged));
    EXPECT_FLOAT_EQ(m_pView->m_fQuietThreshold, nDragged / 11.0f);
}

TEST_F(PlayerDlgTest, ANewViewStartsAtTheStartingThresholdsWhateverTheSliderShows) {
    const std::string path = m_dir.writeFile("a.mf", m_goodFace);
    TypeAndEnter(path);
    DragThumb(-80);
    const int nShown = m_pDlg->m_slider->value();
    ASSERT_NE(nShown, 22000);

    TypeAndEnter(path);
    EXPECT_EQ(m_pView->m_fLoudThreshold, 22000.0f);
    EXPECT_EQ(m_pView->m_fQuietThreshold, 2000.0f);
    QTest::mouseClick(m_pDlg->m_chkSmall, Qt::LeftButton);
    EXPECT_EQ(m_pView->m_fLoudThreshold, 22000.0f);
    EXPECT_EQ(m_pDlg->m_slider->value(), nShown);
}

TEST_F(PlayerDlgTest, AHandOffShowsTheLocationAndLoadsIt) {
    const std::string path = m_dir.writeFile("x y.mf", m_goodFace);
    m_pDlg->findChild<QLabel*>("1025")->setText(QString::fromStdString(path));
    EXPECT_EQ(m_pDlg->OnHandOff(), 0);
    EXPECT_EQ(Edit()->text().toStdString(), path);
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(m_pView->m_strLocation, path);
}

TEST_F(PlayerDlgTest, ALongHandedOverLocationArrivesWhole) {
    // Longer than a line edit's default limit of 32,767 characters: cut, it would load
    // another location than the one handed over.
    const std::string location = "http://127.0.0.1:9/" + std::string(40000, 'a') + ".mf";
    m_pDlg->findChild<QLabel*>("1025")->setText(QString::fromStdString(location));
    m_pDlg->OnHandOff();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Could not load '" + location + "'");
}

TEST_F(PlayerDlgTest, AHandOffDuringAViewsConstructionLeavesExactlyOneView) {
    const std::string first = m_dir.writeFile("first.mf", m_goodFace);
    std::vector<uint8_t> other = m_goodFace;
    other.back() ^= 1; // a texel: still a valid face
    const std::string second = m_dir.writeFile("second.mf", other);
    // The first view's constructor shows a message box; a second launch hands over meanwhile.
    CFaceView::s_onConstruct = [&] {
        CFaceView::s_onConstruct = nullptr;
        m_pDlg->findChild<QLabel*>("1025")->setText(QString::fromStdString(second));
        m_pDlg->OnHandOff();
    };
    TypeAndEnter(first);
    ASSERT_NE(m_pView, nullptr);
    EXPECT_EQ(CFaceView::s_nLive, 1);
    EXPECT_EQ(Panel()->findChildren<CFaceView*>().size(), 1);
    EXPECT_EQ(m_pView->m_strLocation, second) << "the view shows what the buffer holds";
    EXPECT_EQ(std::memcmp(m_pDlg->m_pFaceBuffer, other.data(), other.size()), 0);
}

TEST_F(PlayerDlgTest, ActivationReachesTheView) {
    TypeAndEnter(m_dir.writeFile("a.mf", m_goodFace));
    ASSERT_NE(m_pView, nullptr);
    const int nBefore = m_pView->m_nActivations;
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(m_pDlg.get(), &activate);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(m_pDlg.get(), &deactivate);
    EXPECT_EQ(m_pView->m_nActivations, nBefore + 2);
}

TEST_F(PlayerDlgTest, EscapeKeepsThePlayerOpen) {
    QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
    QTest::keyClick(Edit(), Qt::Key_Escape);
    EXPECT_TRUE(m_pDlg->isVisible());
    EXPECT_FALSE(m_pDlg->IsClosed());
}

TEST_F(PlayerDlgTest, ClosingFreesTheBufferQuitsWithZeroAndLoadsNothingAfterwards) {
    const std::string path = m_dir.writeFile("a.mf", m_goodFace);
    TypeAndEnter(path);
    CFaceView* pView = m_pView;
    m_pDlg->close();
    EXPECT_TRUE(m_pDlg->IsClosed());
    EXPECT_EQ(m_pDlg->m_pFaceBuffer, nullptr);
    EXPECT_FALSE(m_pDlg->isVisible()) << "a hidden view gets no first paint";
    EXPECT_EQ(m_pView, pView) << "the view lives until the application deletes it";

    // A hand-off or a Small toggle arriving before the loop ends reaches nothing.
    m_pDlg->findChild<QLabel*>("1025")->setText(QString::fromStdString(path));
    m_pDlg->OnHandOff();
    m_pDlg->OnSmall();
    EXPECT_EQ(m_pView, pView);
    EXPECT_TRUE(m_messages.empty());

    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the close posts a quit with code 0";
}

TEST_F(PlayerDlgTest, HelpButtonAndF1OpenTheHelpDialogModallyCentredOnTheMainDialog) {
    // Away from the corner, so that a dialog placed anywhere else shows.
    m_pDlg->move(200, 150);
    for (int nWay = 0; nWay < 2; ++nWay) {
        QString caption;
        OnNextModal([&](QWidget* pModal) {
            EXPECT_NE(dynamic_cast<CHelpDlg*>(pModal), nullptr);
            caption = pModal->windowTitle();
            const QPoint offset =
                pModal->frameGeometry().center() - m_pDlg->frameGeometry().center();
            EXPECT_LE(offset.manhattanLength(), 2) << nWay;
            QTest::keyClick(pModal, Qt::Key_Escape);
        });
        if (nWay == 0) {
            QTest::mouseClick(Control<QPushButton>("1009"), Qt::LeftButton);
        } else {
            QApplication::setActiveWindow(m_pDlg.get());
            ASSERT_TRUE(QTest::qWaitForWindowActive(m_pDlg.get()));
            QTest::keyClick(Edit(), Qt::Key_F1);
        }
        EXPECT_EQ(caption, "Help on the MIMLET player.") << nWay;
    }
}

// Every caption must show whole in its control's rectangle (the template's rectangles were
// laid out for 11-pixel dialog text): one line within the width, a text that wraps within the
// height once wrapped. Hidden controls show nothing.
void ExpectEveryTextFits(QWidget& dialog) {
    for (QWidget* pControl : dialog.findChildren<QWidget*>()) {
        if (pControl->isHidden())
            continue;
        QString text;
        QRect room;
        int nFlags = Qt::TextSingleLine;
        if (auto* pLabel = qobject_cast<QLabel*>(pControl)) {
            if (pLabel->text().isEmpty())
                continue;
            text = pLabel->text();
            room = pLabel->contentsRect();
            nFlags = pLabel->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine;
        } else if (auto* pCheck = qobject_cast<QCheckBox*>(pControl)) {
            QStyleOptionButton option;
            option.initFrom(pCheck);
            option.text = pCheck->text();
            text = pCheck->text();
            room = pCheck->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, pCheck);
        } else if (auto* pButton = qobject_cast<QPushButton*>(pControl)) {
            QStyleOptionButton option;
            option.initFrom(pButton);
            option.text = pButton->text();
            text = pButton->text();
            room =
                pButton->style()->subElementRect(QStyle::SE_PushButtonContents, &option, pButton);
        } else {
            continue;
        }
        const QRect needed = pControl->fontMetrics().boundingRect(
            QRect(0, 0, room.width(), 10000), nFlags | Qt::AlignLeft | Qt::AlignTop, text);
        EXPECT_LE(needed.width(), room.width())
            << "'" << text.toStdString() << "' is cut in control "
            << pControl->objectName().toStdString();
        EXPECT_LE(needed.height(), room.height())
            << "'" << text.toStdString() << "' is cut in control "
            << pControl->objectName().toStdString();
    }
}

TEST_F(PlayerDlgTest, EveryCaptionShowsWhole) {
    EXPECT_EQ(Control<QLabel>("1022")->fontInfo().pixelSize(), 11);
    ExpectEveryTextFits(*m_pDlg);
}

TEST(HelpDlgTest, EveryCaptionShowsWhole) {
    app();
    CHelpDlg help;
    ExpectEveryTextFits(help);
}

TEST(HelpDlgTest, ShowsItsTextsAndClosesEveryWay) {
    app();
    CHelpDlg help;
    EXPECT_EQ(help.windowTitle(), "Help on the MIMLET player.");
    EXPECT_EQ(help.size(), QSize(453, 184));
    EXPECT_EQ(help.palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(help.findChild<QPushButton*>("1")->text(), "Close");
    EXPECT_EQ(help.findChild<QLabel*>("version")->text(), "version 1.10");
    const QString description = help.findChild<QLabel*>("description")->text();
    EXPECT_TRUE(description.startsWith("ZORVAN presents the MIMLET Player. "));
    EXPECT_TRUE(description.endsWith(
        "\n\nFor further details on how to use this program, read the document files supplied "
        "accessible from the Windows Start Menu."));
    EXPECT_FALSE(help.findChild<QLabel*>("icon128")->pixmap().isNull());

    using Close = std::function<void(CHelpDlg&)>;
    const std::vector<std::pair<const char*, Close>> ways = {
        {"Enter", [](CHelpDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }},
        {"Close",
         [](CHelpDlg& d) { QTest::mouseClick(d.findChild<QPushButton*>("1"), Qt::LeftButton); }},
        {"Escape", [](CHelpDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](CHelpDlg& d) { d.close(); }},
    };
    for (const auto& [name, close] : ways) {
        CHelpDlg dialog;
        bool bClosed = false;
        QTimer::singleShot(0, [&] {
            close(dialog);
            bClosed = !dialog.isVisible();
        });
        QTimer::singleShot(5000, &dialog, [&] { dialog.done(42); });
        const int nResult = dialog.exec();
        EXPECT_NE(nResult, 42) << name;
        EXPECT_TRUE(bClosed) << name;
    }
}

} // namespace
