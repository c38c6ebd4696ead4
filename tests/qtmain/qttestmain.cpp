// main() for test programs that build windows: one QApplication (offscreen when no platform is
// set), then every GoogleTest case.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Halvex Dravik");
  QApplication::setApplicationDisplayName("Halvex Dravik");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
