#include <gtest/gtest.h>

#include <QApplication>

// The tests of windows, boxes and devices run inside a QApplication on the main thread, like the
// program itself.
int main(int argc, char** argv) {
  QApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
