// The document-signing window, shown, driven as a person drives it: keys to the focused
// widget through the window, clicks through the window to the widget under the pointer.
#include "app/startup.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pdftools.h"
#include "plainpdf.h"
#include "rendercli.h"
#include "ui/mainwindow.h"
#include "ui/pageview.h"
#include "ui/signwindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class SigningWindow : public testing::Test
{
protected:
    FakePlatform platform;
    ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w{values, platform};
    QTemporaryDir dir;
    SignWindow* sign = nullptr;

    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QString written(const char* name, const QByteArray& bytes)
    {
        return writtenFile(dir.path(), name, bytes);
    }
    // Opens `document` through the main window's Ctrl+O, as a person does.
    void open(const QString& document)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        platform.openAnswers = {document};
        QTest::keyClick(w.windowHandle(), Qt::Key_O, Qt::ControlModifier);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("frmSign"))
                sign = qobject_cast<SignWindow*>(top);
        ASSERT_NE(sign, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sign));
        ASSERT_EQ(sign->documentPath(), document);
    }
    template <class T> T* control(const char* name)
    {
        T* c = sign->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void click(QWidget* widget)
    {
        QTest::mouseClick(sign->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(sign, widget->rect().center()));
    }
    void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(sign->windowHandle(), c.toLatin1());
    }
};

// A signed document shows who signed it and that its bytes are those signed; drawing into its
// pages asks first, in one sentence naming how many signatures would break, No the default;
// the certificate's password is gone once it has been used.
TEST_F(SigningWindow, ShowsSignaturesAsksBeforeBreakingThemAndKeepsNoPassword)
{
    const QString p12 = ownIdentity(path("me.p12"));
    written("password", "pw\n");
    ASSERT_EQ(render({QStringLiteral("--stamp"), written("contract.pdf", twoPages()),
                      QStringLiteral("--at"), QStringLiteral("20,30"),
                      QStringLiteral("--sign-with"), p12, QStringLiteral("--password-file"),
                      path("password"), QStringLiteral("-o"), path("signed.pdf")})
                  .code,
              0);
    open(path("signed.pdf"));
    auto* list = control<QListWidget>("lstSignatures");
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("王晓明")));
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("所签内容未被改动")));
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("覆盖整个文档")));
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("自签名")));

    // Drawn into the pages: asked first; No writes nothing and asks for no file.
    click(control<QCheckBox>("chkFlatten"));
    ASSERT_TRUE(control<QCheckBox>("chkFlatten")->isChecked());
    platform.saveAnswers = {Platform::SaveAnswer{path("flat.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(platform.yesNoQuestions.size(), 1);
    EXPECT_TRUE(platform.yesNoQuestions[0].contains(QStringLiteral("1 个数字签名")));
    EXPECT_FALSE(QFile::exists(path("flat.pdf")));
    EXPECT_EQ(platform.saveDialogFilters.size(), 0u);
    click(control<QCheckBox>("chkFlatten"));

    // Signed again with the certificate: the password typed is gone once the signing is done.
    platform.openAnswers = {p12};
    click(control<QPushButton>("btnCertificate"));
    auto* password = control<QLineEdit>("txtPassword");
    password->setFocus();
    type(QStringLiteral("pw"));
    EXPECT_EQ(password->text(), QStringLiteral("pw"));
    platform.saveAnswers = {Platform::SaveAnswer{path("twice.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(path("twice.pdf"))) << platform.messages.back().text.toStdString();
    EXPECT_TRUE(password->text().isEmpty());
    const Outcome verified = render({QStringLiteral("--verify"), path("twice.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_EQ(verified.out.count(QStringLiteral("digest matches")), 2);
}

} // namespace
