// ui_tests: every test class of the user interface (each registers itself
// with VOMBEL_UI_TEST), one after the other, in one application on the
// platform the environment names (offscreen under CTest).
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
  QApplication application(argc, argv);
  int failed = 0;
  for (const ui_test::Factory factory : ui_test::Registered()) {
    const std::unique_ptr<QObject> test = factory();
    failed += QTest::qExec(test.get(), argc, argv) != 0;
  }
  return failed;
}
