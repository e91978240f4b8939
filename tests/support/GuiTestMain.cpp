#include <QApplication>
#include <gtest/gtest.h>

// main() of widget tests: a QApplication (offscreen in CTest) around GoogleTest.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
