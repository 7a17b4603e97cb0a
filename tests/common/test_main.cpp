#include <QApplication>
#include <gtest/gtest.h>

// Widget tests need a QApplication; core tests do not mind one. Keeping a single
// main for both lets any test program hold either kind of test.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
