// gtest main with a QApplication for the widget tests.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    // Test discovery runs the program without the tests' environment: no display there.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
