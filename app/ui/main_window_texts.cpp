#include "app/ui/main_window_texts.h"

#include "app/string_loader.h"
#include "app/ui/qt_text.h"

QString ProgramText(unsigned id) {
  const std::u16string text = LoadProgramString(id);
  return ToQString(text);
}

QString MenuEscaped(QString text) { return text.replace(QStringLiteral("&"), QStringLiteral("&&")); }

int TechnologyModeOfControl(int id) {
  switch (id) {
    case 1005:
      return 3;
    case 1006:
      return 1;
    case 1007:
      return 2;
    case 1008:
      return 0;
    default:
      return -1;
  }
}
