// ui_tests: every test class of the user interface (each registers itself
// with VOMBEL_UI_TEST), one after the other, in one application on the
// platform the environment names (offscreen under CTest). A first argument
// that names a test class runs only that class, with the arguments after it:
//   ui_tests DlgMainTest AWrongPinIsReportedAndTheControlsComeBack
#include <QApplication>
#include <QtTest>
#include <cstring>

#include "tests/ui/ui_test_registry.h"

namespace ui_test {

std::vector<Factory>& Registered() {
  static std::vector<Factory> factories;
  return factories;
}

}  // namespace ui_test

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const char* only = nullptr;
  std::vector<char*> args(argv, argv + argc);
  if (argc > 1 && argv[1][0] != '-') {
    only = argv[1];
    args.erase(args.begin() + 1);
  }
  int failed = 0;
  bool found = only == nullptr;
  for (const ui_test::Factory factory : ui_test::Registered()) {
    const std::unique_ptr<QObject> test = factory();
    if (only != nullptr && std::strcmp(test->metaObject()->className(), only) != 0) continue;
    found = true;
    failed += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data()) != 0;
  }
  if (!found) {
    std::fprintf(stderr, "ui_tests: no test class %s\n", only);
    return 2;
  }
  return failed;
}
