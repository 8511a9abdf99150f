// ui_tests is one program of several Qt Test classes: each test file
// registers its class with VOMBEL_UI_TEST(Class), and the program's main
// (ui_test_main.cpp) runs them all under one QApplication.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

namespace ui_test {

using Factory = std::unique_ptr<QObject> (*)();

// The registered test classes, in the order their files were initialised.
std::vector<Factory>& Registered();

struct Registration {
  explicit Registration(Factory factory) { Registered().push_back(factory); }
};

}  // namespace ui_test

#define VOMBEL_UI_TEST(Class)                                                    \
  namespace {                                                                    \
  const ui_test::Registration registration_##Class(                            \
      []() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); });  \
  }
