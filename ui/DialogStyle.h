#pragma once
// The look shared by the player's dialogs: light grey background, black text in the
// dialog font, the program's pictures.

#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPixmap>

class QWidget;

namespace ui {

// Background RGB(192,192,192), black text; edit boxes keep a white field.
QPalette DialogPalette();

// The dialogs' text: a narrow sans font 11 pixels high (8 points at 96 dpi).
QFont DialogFont();

// Paints `pWidget` (and its children) with DialogPalette() and writes with DialogFont().
void ApplyDialogStyle(QWidget* pWidget);

QPixmap Bitmap131(); // 110 x 56 logo
QPixmap Bitmap132(); // 81 x 53 logo
QIcon Icon128();     // 32 x 32 program icon

} // namespace ui
