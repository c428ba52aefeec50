// Test entry point. Programs that link the GUI layer get a QApplication on the
// offscreen platform, the way the program itself runs its event loop.
#include <gtest/gtest.h>

#ifndef FOLIO_TEST_NO_QT
#include <QApplication>
#include <cstdlib>
#endif

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifndef FOLIO_TEST_NO_QT
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
