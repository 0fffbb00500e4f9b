#pragma once
// The look shared by the player's dialogs: light grey background, black text, the
// program's pictures.

#include <QIcon>
#include <QPalette>
#include <QPixmap>

class QWidget;

namespace ui {

// Background RGB(192,192,192), black text; edit boxes keep a white field.
QPalette DialogPalette();

// Paints `pWidget` (and its children) with DialogPalette().
void ApplyDialogStyle(QWidget* pWidget);

QPixmap Bitmap131(); // 110 x 56 logo
QPixmap Bitmap132(); // 81 x 53 logo
QIcon Icon128();     // 32 x 32 program icon

} // namespace ui
