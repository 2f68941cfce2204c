#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>

// What ctest is told to take for a skipped test (SKIP_RETURN_CODE).
constexpr int SkippedExitCode = 77;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // As in the program: Qt's dialogs keep nothing in the tester's settings.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // Everything skipped (a test that needs root, a printer): ctest shows it as skipped.
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (failed == 0 && run.successful_test_count() == 0 && run.skipped_test_count() > 0)
        return SkippedExitCode;
    return failed;
}
