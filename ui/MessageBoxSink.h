#pragma once
// Shows the player's messages (sys::showMessage) as modal Qt message boxes: warning icon,
// one OK button, the executable's name without its extension as caption, `pOwner` (the
// main dialog, when it still exists) as owner.

class QWidget;

namespace ui {

void InstallMessageBoxSink(QWidget* pOwner);

} // namespace ui
