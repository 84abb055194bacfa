// main() of the window tests: one QApplication on the offscreen platform, then every test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Where the build put the run-time packages, and the sources (for the style sheet).
  if (qEnvironmentVariableIsEmpty("VLT_PLUGIN_DIR"))
    qputenv("VLT_PLUGIN_DIR", VLT_PLUGIN_DIR_DEFAULT);
  if (qEnvironmentVariableIsEmpty("VLT_SOURCE_DIR"))
    qputenv("VLT_SOURCE_DIR", VLT_SOURCE_DIR_DEFAULT);
  QApplication app(argc, argv);
  QApplication::setApplicationName("VltTest");
  QStandardPaths::setTestModeEnabled(true);  // folders under ~/.qttest, never the user's own
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
