// The user interface's tests: one application object for every test class,
// each class run in turn; the exit status is nonzero when any failed.
#include <QApplication>

int RunPlatformMessagePumpTests(int argc, char** argv);
int RunDlgMainTests(int argc, char** argv);
int RunMainWindowPartsTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  int failed = 0;
  for (auto* run : {&RunPlatformMessagePumpTests, &RunDlgMainTests, &RunMainWindowPartsTests}) {
    failed += run(argc, argv) != 0 ? 1 : 0;
  }
  return failed;
}
