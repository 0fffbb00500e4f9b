#pragma once
// The modal help window: product line, where the documentation is, the maker's contact
// details, the version and the program's pictures, and a Close button. Enter and Close
// accept it; Escape and the close box reject it; the result means nothing to the player.

#include <QDialog>

class CHelpDlg : public QDialog {
public:
    static constexpr int IDD = 138;

    // With a parent the dialog opens centred on it.
    explicit CHelpDlg(QWidget* pParent = nullptr);
    ~CHelpDlg() override;
};
