// ui_tests: every test object of the user interface, one after the other, in
// one application on the platform the environment names (offscreen under
// CTest).
#include <QApplication>

#include "tests/ui/ui_tests.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  int failed = 0;
  failed += RunPlatformMessagePumpTest(argc, argv) != 0;
  failed += RunAuthenticationDialogsTest(argc, argv) != 0;
  failed += RunDlgMainTest(argc, argv) != 0;
  failed += RunMainWindowPartsTest(argc, argv) != 0;
  return failed;
}
