// Runs every registered Qt Test class; the exit code counts the failed test
// functions of all of them. The offscreen platform is the default, so the
// program also runs outside ctest without a display.
#include <QApplication>
#include <QtTest>

#include "tests/ui/ui_test_registry.h"

namespace ui_test {

std::vector<Factory>& Registered() {
  static std::vector<Factory> factories;
  return factories;
}

}  // namespace ui_test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int failed = 0;
  for (const ui_test::Factory factory : ui_test::Registered()) {
    const std::unique_ptr<QObject> test = factory();
    failed += QTest::qExec(test.get(), argc, argv);
  }
  return failed;
}
