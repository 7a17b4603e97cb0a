#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need a QApplication; core tests do not mind one. Keeping a single
// main for both lets any test program hold either kind of test.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // With no board named the window searches the machine's serial ports and USB devices for
    // one; tests get the simulated board unless they choose another.
    if (qEnvironmentVariableIsEmpty("ACCEL3_DEVICE"))
        qputenv("ACCEL3_DEVICE", "sim");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
