#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

// What ctest is told to take for a skipped test (SKIP_RETURN_CODE).
constexpr int SkippedExitCode = 77;

int main(int argc, char** argv)
{
    // The program keeps a person's drawn signature in its data folder: the tests get one of
    // their own, so that the tester's is neither read nor changed.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
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
