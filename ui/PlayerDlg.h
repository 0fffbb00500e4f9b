#pragma once
// The player's main window: a modeless dialog with the display panel over which the face
// view is placed, the location box with Browse, the Audio Level slider, the Small check
// box, Help, two logos and two hidden controls (the default button that makes Enter load,
// the static that carries a handed-over location).
//
// The dialog owns the face buffer; the view it puts up is owned by its holder (the
// application's m_pView, passed by reference): the dialog deletes and replaces it there.

#include <QDialog>
#include <QIcon>
#include <QRect>

#include <cstdint>
#include <functional>
#include <string>

class CFaceView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

class CPlayerDlg : public QDialog {
public:
    static constexpr int IDD = 102;
    // Slider notification codes that OnHScroll acts on: the thumb released and dragged.
    static constexpr unsigned TB_THUMBPOSITION = 4;
    static constexpr unsigned TB_THUMBTRACK = 5;
    // Activation states passed to OnActivate.
    static constexpr unsigned WA_INACTIVE = 0;
    static constexpr unsigned WA_ACTIVE = 1;

    // Asks for the face file to open; returns the chosen path, empty when cancelled.
    using FileChooser = std::function<QString(QWidget* pParent)>;

    explicit CPlayerDlg(CFaceView*& rpView, QWidget* pParent = nullptr);
    ~CPlayerDlg() override;

    // Initialises the dialog and shows it, modeless, at the top-left corner of the screen.
    void Create();

    // Sets the slider up, allocates the face buffer, notes the panel's client size.
    bool OnInitDialog();

    void OnLoad();
    void OnBrowse();
    long OnHandOff();
    void OnSmall();
    void OnHScroll(unsigned nSBCode, unsigned nPos);
    void OnActivate(unsigned nState, QWidget* pWndOther, bool bMinimized);
    void OnClose();
    void OnHelpButton();

    // Reads the location into the face buffer: true when it was accepted.
    bool LoadLocation(const std::string& strLocation);

    // True once the dialog was closed: the face buffer is gone and nothing is loaded.
    bool IsClosed() const { return m_bClosed; }

    // The Open dialog; a QFileDialog unless replaced.
    void SetFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }

    static QString DefaultFileChooser(QWidget* pParent);

    QSlider* m_slider = nullptr;         // control 1003
    QCheckBox* m_chkSmall = nullptr;     // control 1018
    QLineEdit* m_editLocation = nullptr; // control 1015
    std::string m_strLocation;           // being loaded, or after a load the last good one
    QIcon m_hIcon;                       // icon 128
    uint8_t* m_pFaceBuffer = nullptr;    // kFaceBufferBytes from malloc; null once closed
    std::string m_strLastGood;           // last location loaded successfully
    QRect m_rcPanel;                     // panel's client rectangle at initialisation

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void reject() override;

private:
    // Deletes the current view and puts a new one over the panel's client area, inset
    // 2 pixels, built from the face buffer.
    void ReplaceView();

    CFaceView*& m_rpView;              // the holder's current view; not owned here
    QLabel* m_pPanel = nullptr;        // control 1002
    QLabel* m_pHandOff = nullptr;      // control 1025
    QPushButton* m_pDefault = nullptr; // control 1019
    FileChooser m_fileChooser;
    bool m_bClosed = false;
};
