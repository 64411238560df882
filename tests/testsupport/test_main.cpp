#include <gtest/gtest.h>

#include <QCoreApplication>

// Every test program runs inside an application object on the main thread, like the program
// itself; the core's tests need no GUI.
int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
