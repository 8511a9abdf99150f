// Texts and control numbers of the main window, shared by its logic and its
// layout.
#pragma once

#include <QString>
#include <cstdint>

// String `id` of the program's table.
QString ProgramText(unsigned id);
// The application name with every "&" doubled, for menu texts.
QString MenuEscaped(QString text);

// The technology radio buttons are controls 1005..1008.
inline constexpr int kFirstTechnologyControl = 1005;
// The technology selection mode of radio control `id` (1005 UMTS preferred
// 3, 1006 UMTS only 1, 1007 GPRS preferred 2, 1008 GPRS only 0); -1 for any
// other control.
int TechnologyModeOfControl(int id);
