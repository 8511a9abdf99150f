# Precompiled headers for the targets whose files spend most of their compile
# time in the same big headers: the libraries (the standard library's
# containers, strings and threads), the tests (GoogleTest) and the user
# interface (Qt Widgets). A test file compiles in about two thirds of the time
# with them, a window's or a library's file in about half. VOMBEL_PCH=OFF builds without them, which is
# how to check that every file includes what it uses.
option(VOMBEL_PCH "Precompile the test framework's and Qt's headers" ON)

set(VOMBEL_PCH_STANDARD <cstdint> <functional> <map> <memory> <string> <string_view> <vector>)
# What most files of the libraries include.
set(VOMBEL_PCH_LIBRARY
  <algorithm> <array> <atomic> <cstddef> <cstdint> <cstdio> <cstring> <functional> <map> <memory>
  <mutex> <optional> <span> <string> <string_view> <thread> <vector>)
set(VOMBEL_PCH_GTEST <gtest/gtest.h> <gmock/gmock.h>)
set(VOMBEL_PCH_QT
  <QAction> <QApplication> <QDialog> <QDialogButtonBox> <QHBoxLayout> <QLabel> <QLineEdit>
  <QMenu> <QMessageBox> <QPlainTextEdit> <QPointer> <QPushButton> <QString> <QStyle>
  <QTreeWidget> <QVBoxLayout>)

# vombel_precompile_headers(target HEADER...): the target's files compile
# against a precompiled image of HEADER... (when VOMBEL_PCH is on).
function(vombel_precompile_headers target)
  if(VOMBEL_PCH)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()
