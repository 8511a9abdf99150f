// Placing the program's secondary windows when they open.
#pragma once

class QWidget;

// Moves `window` (sized first to its layout) to the centre of its visible
// parent window, or of its screen's work area when the parent is hidden
// (the main window usually is: the program lives in the tray).
void CentreWindow(QWidget* window);

// Shows `window`, raises it above the program's other windows and asks the
// desktop to give it the focus.
void BringToForeground(QWidget* window);
