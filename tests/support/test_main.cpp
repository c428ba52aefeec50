// Test entry point. Programs of the image layers get a QGuiApplication (fonts
// and pictures, no widgets); programs that link the controls get a
// QApplication, the way the program itself runs its event loop. Both run on
// the offscreen platform.
#include <gtest/gtest.h>

#ifndef FOLIO_TEST_NO_QT
#include <cstdlib>
#ifdef FOLIO_TEST_GUI_ONLY
#include <QGuiApplication>
using TTestApplication = QGuiApplication;
#else
#include <QApplication>
using TTestApplication = QApplication;
#endif
#endif

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifndef FOLIO_TEST_NO_QT
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TTestApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
