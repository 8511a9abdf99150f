// ui_tests: every test object of the user interface, one after the other, in
// one application on the platform the environment names (offscreen under
// CTest).
#include <QApplication>
#include <QtTest>

#include "tests/ui/ui_test_registry.h"
#include "tests/ui/ui_tests.h"

namespace ui_test {

std::vector<Factory>& Registered() {
  static std::vector<Factory> factories;
  return factories;
}

}  // namespace ui_test

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  int failed = 0;
  failed += RunPlatformMessagePumpTest(argc, argv) != 0;
  failed += RunAuthenticationDialogsTest(argc, argv) != 0;
  failed += RunDlgMainTest(argc, argv) != 0;
  failed += RunMainWindowPartsTest(argc, argv) != 0;
  // And the classes that register themselves (VOMBEL_UI_TEST).
  for (const ui_test::Factory factory : ui_test::Registered()) {
    const std::unique_ptr<QObject> test = factory();
    failed += QTest::qExec(test.get(), argc, argv) != 0;
  }
  return failed;
}
