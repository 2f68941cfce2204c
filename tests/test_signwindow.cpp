// The document-signing window, shown, driven as a person drives it: keys to the focused
// widget through the window, clicks through the window to the widget under the pointer.
#include "app/startup.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pdftools.h"
#include "pixels.h"
#include "plainpdf.h"
#include "rendercli.h"
#include "ui/mainwindow.h"
#include "localauthority.h"
#include "ui/batchwindow.h"
#include "ui/drawwindow.h"
#include "ui/levelchooser.h"
#include "ui/pageview.h"
#include "ui/signwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QWheelEvent>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

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
    void click(QWidget* widget, std::optional<QPoint> at = std::nullopt)
    {
        QTest::mouseClick(sign->windowHandle(), Qt::LeftButton, {},
                          widget->mapTo(sign, at.value_or(widget->rect().center())));
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
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("没有可信时间（B-B）")));

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

    // Signed again with the certificate, asked for its password until it opens it: the
    // certificate is shown by name and validity, and no field holds the password.
    platform.openAnswers = {p12};
    platform.passwordAnswers = {QStringLiteral("wrong"), QStringLiteral("pw")};
    click(control<QPushButton>("btnCertificate"));
    EXPECT_EQ(platform.passwordQuestions.size(), 2);
    const QString shown = control<QLabel>("lblCertificate")->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("王晓明")) &&
                shown.contains(QDate::currentDate().addDays(30).toString(QStringLiteral("yyyy-MM-dd"))))
        << shown.toStdString();
    for (const QLineEdit* field : sign->findChildren<QLineEdit*>())
        EXPECT_NE(field->echoMode(), QLineEdit::Password) << "no password kept in a field";
    control<QLineEdit>("txtReason")->setFocus();
    type(QStringLiteral("Approved"));
    control<QLineEdit>("txtLocation")->setFocus();
    type(QStringLiteral("Hangzhou"));
    // Who signed and when, written under the signature: the page shows it as tall as saving
    // writes it, as wide as before.
    const QRectF alone = sign->pageView()->shownRect();
    click(control<QCheckBox>("chkSignerLines"));
    const QRectF withLines = sign->pageView()->shownRect();
    EXPECT_NEAR(withLines.width(), alone.width(), 0.5);
    EXPECT_GT(withLines.height(), alone.height() * 1.3);
    platform.saveAnswers = {Platform::SaveAnswer{path("twice.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(QFile::exists(path("twice.pdf"))) << platform.messages.size();
    QFile twice(path("twice.pdf"));
    ASSERT_TRUE(twice.open(QIODevice::ReadOnly));
    const QByteArray bytes = twice.readAll();
    EXPECT_TRUE(bytes.contains("/Reason <" + QByteArray("Approved").toHex() + ">") &&
                bytes.contains("/Location <" + QByteArray("Hangzhou").toHex() + ">"));
    const QList<QRectF> rects = annotationRects(bytes);
    ASSERT_EQ(rects.size(), 2);
    EXPECT_NEAR(rects[1].height() / rects[1].width(),
                withLines.height() / withLines.width(), 0.02);
    EXPECT_EQ(platform.suggestedFiles.back(), path("signed-已签.pdf"));
    const Outcome verified = render({QStringLiteral("--verify"), path("twice.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_EQ(verified.out.count(QStringLiteral("digest matches")), 2);
    // The copy saved is what the window shows now, both signatures in its list.
    EXPECT_EQ(sign->documentPath(), path("twice.pdf"));
    EXPECT_EQ(list->count(), 2);
    // Shown as signed: no new signature over the one just made until another is asked for,
    // and that one goes beside it.
    EXPECT_TRUE(sign->pageView()->shownRect().isEmpty());
    const QPointF made = sign->pageView()->atMm();
    auto* another = control<QPushButton>("btnAnother");
    ASSERT_TRUE(another->isVisible());
    click(another);
    EXPECT_FALSE(another->isVisible());
    EXPECT_FALSE(sign->pageView()->shownRect().isEmpty());
    EXPECT_LT(sign->pageView()->atMm().y() + sign->pageView()->heightMm(), made.y() + 0.01)
        << "above the signature made";
    // Put back where the first is, as typed.
    click(control<QDoubleSpinBox>("spnTop"));
    QTest::keyClick(sign->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    type(QString::number(made.y(), 'f', 1));
    QTest::keyClick(sign->windowHandle(), Qt::Key_Return);
    EXPECT_NEAR(sign->pageView()->atMm().y(), made.y(), 0.06);

    // Cleared, the certificate signs no more: the next save is a stamp, and the key is not
    // asked for. A file of that name is replaced once the person says so, asked in a box
    // titled for what they are doing.
    click(control<QPushButton>("btnClearCertificate"));
    EXPECT_TRUE(control<QLabel>("lblCertificate")->text().contains(QStringLiteral("不用证书")));
    written("stamped.pdf", "an older copy");
    platform.saveAnswers = {Platform::SaveAnswer{path("stamped.pdf"), 1}};
    // Where the signature just made is: asked whether to cover it, and told yes.
    platform.yesNoAnswers = {true};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(platform.yesNoQuestions.filter(QStringLiteral("会盖住第 1 页上已有的签名（Signature2）")).size(), 1)
        << platform.yesNoQuestions.join(u'|').toStdString();
    EXPECT_EQ(platform.replaceCaptions, QStringList{QStringLiteral("保存签署后的文档")});
    EXPECT_EQ(platform.passwordQuestions.size(), 2);
    EXPECT_EQ(render({QStringLiteral("--verify"), path("stamped.pdf")})
                  .out.count(QStringLiteral("digest matches")),
              2);
    EXPECT_EQ(list->count(), 2);
}

// The certificates a person keeps in a token and in the NSS database are in the window's one
// list beside the files chosen, each with where it is kept; a token's signs once its PIN is given,
// asked when saving, not when chosen.
TEST_F(SigningWindow, ListsTheCertificatesOfTokensAndSignsWithThem)
{
    const TokenEnvironment environment;
    ASSERT_TRUE(madeTokenAndDatabase(dir.path()));
    open(written("contract.pdf", twoPages()));
    auto* list = control<QComboBox>("cboCertificate");
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->count() > 2; }));
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->itemText(i);
    EXPECT_TRUE(shown.contains(QStringLiteral("王晓明（令牌 sorvex）"))) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("王晓明（NSS 证书库）"))) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown.last().startsWith(QStringLiteral("证书文件")));
    EXPECT_EQ(shown.filter(QStringLiteral("Sorvex Test Root")).size(), 0)
        << "an authority's certificate signs nothing";

    list->setFocus();
    const int token = int(shown.indexOf(QStringLiteral("王晓明（令牌 sorvex）")));
    for (int i = 0; i < token; ++i)
        QTest::keyClick(sign->windowHandle(), Qt::Key_Down);
    ASSERT_EQ(list->currentIndex(), token);
    EXPECT_TRUE(platform.passwordQuestions.isEmpty()) << "no PIN until it signs";
    EXPECT_TRUE(control<QLabel>("lblCertificate")->text().contains(QStringLiteral("保存时输入 PIN")));
    platform.passwordAnswers = {QStringLiteral("9999"), QStringLiteral("1234")};
    platform.saveAnswers = {Platform::SaveAnswer{path("signed.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(platform.passwordQuestions.size(), 2) << "asked again after a wrong PIN";
    EXPECT_TRUE(platform.passwordQuestions[1].contains(QStringLiteral("PIN 不对")));
    const Outcome verified = render({QStringLiteral("--verify"), path("signed.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("by 王晓明"))) << verified.out.toStdString();
}

// The page view shows the page as it is (an earlier stamp on it) and what saving writes on it:
// nothing on a page not listed, the signature on a page listed, a seal's slice at the right
// edge across the pages.
TEST_F(SigningWindow, ShowsThePageAsItIsAndWhatSavingWritesOnIt)
{
    written("contract.pdf", twoPages());
    ASSERT_EQ(render({QStringLiteral("--stamp"), path("contract.pdf"), QStringLiteral("--style"),
                      QStringLiteral("篆印体"), QStringLiteral("--at"), QStringLiteral("20,30"),
                      QStringLiteral("--width"), QStringLiteral("30"), QStringLiteral("-o"),
                      path("stamped.pdf")})
                  .code,
              0);
    auto* style = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    ASSERT_NE(style, nullptr);
    style->setCurrentIndex(style->findText(QStringLiteral("篆印体")));
    Q_EMIT style->activated(style->currentIndex());
    open(path("stamped.pdf"));
    PageView* view = sign->pageView();
    view->place(QPointF(100, 200), 30);
    const auto red = [](QRgb p) { return qRed(p) > 150 && qGreen(p) < 110 && qBlue(p) < 110; };
    // Red in the widget's pixels within `mm` (millimetres on the page).
    const auto redWithin = [&](QRectF area) {
        const QImage shot = view->grab().toImage();
        const double k = view->pageRect().width() / 595 * 72 / 25.4;
        const QRect at = QRectF(view->pageRect().topLeft() + area.topLeft() * k, area.size() * k)
                             .toAlignedRect();
        return countPixels(shot.copy(at), red);
    };
    const QRectF earlier(20, 30, 30, 30), ours(100, 200, 30, 30);

    control<QLineEdit>("txtPages")->setFocus();
    type(QStringLiteral("2"));
    EXPECT_GT(redWithin(earlier), 50) << "the earlier stamp";
    EXPECT_EQ(redWithin(ours), 0) << "page 1 is not signed";
    EXPECT_TRUE(control<QLabel>("lblShare")->text().contains(QStringLiteral("第 2 页")));
    QTest::keyClick(sign->windowHandle(), Qt::Key_PageDown);
    EXPECT_GT(redWithin(ours), 50);

    // Across both pages, the second page's half at its right edge, and nothing where the whole
    // seal was.
    control<QLineEdit>("txtPages")->clear();
    const QSize windowBefore = sign->size();
    click(control<QCheckBox>("chkAcross"));
    ASSERT_TRUE(control<QCheckBox>("chkAcross")->isChecked());
    QCoreApplication::processEvents();
    EXPECT_EQ(sign->size(), windowBefore) << "the longer words wrap; the window keeps its size";
    const QRectF slice = view->shownRect();
    EXPECT_NEAR(slice.right(), view->pageRect().right(), 1);
    const double k = view->pageRect().width() / 595 * 72 / 25.4;
    EXPECT_NEAR(slice.width(), 15 * k, 1);
    EXPECT_EQ(redWithin(ours), 0);
    EXPECT_GT(redWithin(QRectF(210 - 15, 200, 15, 30)), 50);
    // The whole seal beside the page, cut as the pages get it.
    EXPECT_GT(redWithin(QRectF(210, 195, 60, 40)) + redWithin(QRectF(-60, 195, 60, 40)), 100);

    // The place in millimetres, as the renderer's --at takes it: shown, and typed.
    click(control<QCheckBox>("chkAcross"));
    auto* left = control<QDoubleSpinBox>("spnLeft");
    EXPECT_DOUBLE_EQ(left->value(), 100);
    left->setFocus();
    QTest::keyClick(sign->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("40"));
    QTest::keyClick(sign->windowHandle(), Qt::Key_Return);
    EXPECT_NEAR(view->atMm().x(), 40, 0.01);
    EXPECT_GT(redWithin(QRectF(40, 200, 30, 30)), 50);
    view->setFocus();
    QTest::keyClick(sign->windowHandle(), Qt::Key_Down);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("spnTop")->value(), 201);

    // A box drawn beside the signature is where it goes, as wide as the box.
    const double mm = view->pageRect().width() / 210;
    const auto onPage = [&](double x, double y) {
        return view->mapTo(sign, (view->pageRect().topLeft() + QPointF(x, y) * mm).toPoint());
    };
    QTest::mousePress(sign->windowHandle(), Qt::LeftButton, {}, onPage(120, 60));
    QTest::mouseMove(sign->windowHandle(), onPage(140, 70));
    QTest::mouseMove(sign->windowHandle(), onPage(170, 80));
    QTest::mouseRelease(sign->windowHandle(), Qt::LeftButton, {}, onPage(170, 80));
    EXPECT_NEAR(view->atMm().x(), 120, 1);
    EXPECT_NEAR(view->atMm().y(), 60, 1);
    EXPECT_NEAR(view->widthMm(), 50, 1);

    // Another style chosen in the main window: 宽 says the width the new picture is saved at.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    style->setFocus();
    while (style->currentText() != QStringLiteral("公文签") && style->currentIndex() > 0)
        QTest::keyClick(w.windowHandle(), Qt::Key_Up);
    ASSERT_EQ(style->currentText(), QStringLiteral("公文签"));
    sign->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sign));
    const double shownWidth = control<QDoubleSpinBox>("spnWidth")->value();
    EXPECT_NEAR(shownWidth, view->widthMm(), 0.05);
    platform.saveAnswers = {Platform::SaveAnswer{path("restyled.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QFile restyled(path("restyled.pdf"));
    ASSERT_TRUE(restyled.open(QIODevice::ReadOnly));
    EXPECT_NEAR(annotationRects(restyled.readAll()).constLast().width() * 25.4 / 72, shownWidth, 0.1);
}

// A second signer sees the first: a certificate signature already on the page is drawn there,
// the verdict on top says whether anything came after it, and a signature laid over it is asked
// about before anything is written.
TEST_F(SigningWindow, ShowsEarlierSignaturesAndWhatCameAfterThem)
{
    const QString p12 = ownIdentity(path("me.p12"));
    written("password", "pw\n");
    auto* style = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    ASSERT_NE(style, nullptr);
    style->setCurrentIndex(style->findText(QStringLiteral("篆印体")));
    Q_EMIT style->activated(style->currentIndex());
    ASSERT_EQ(render({QStringLiteral("--stamp"), written("contract.pdf", twoPages()), QStringLiteral("--style"),
                      QStringLiteral("篆印体"), QStringLiteral("--at"), QStringLiteral("20,30"),
                      QStringLiteral("--width"), QStringLiteral("30"), QStringLiteral("--sign-with"), p12,
                      QStringLiteral("--password-file"), path("password"), QStringLiteral("-o"),
                      path("signed.pdf")})
                  .code,
              0);
    open(path("signed.pdf"));
    PageView* view = sign->pageView();
    const auto red = [](QRgb p) { return qRed(p) > 150 && qGreen(p) < 110 && qBlue(p) < 110; };
    view->place(QPointF(100, 200), 30);
    const QImage shot = view->grab().toImage();
    const double k = view->pageRect().width() / 595 * 72 / 25.4;
    const QRect earlier = QRectF(view->pageRect().topLeft() + QPointF(20, 30) * k, QSizeF(30, 30) * k)
                              .toAlignedRect();
    EXPECT_GT(countPixels(shot.copy(earlier), red), 50) << "the earlier signature is drawn";
    auto* verdict = control<QLabel>("lblVerdict");
    EXPECT_TRUE(verdict->text().contains(QStringLiteral("所有签名有效，签名之后文档没有改动"))) << verdict->text().toStdString();

    // Laid over the earlier one: asked, No writes nothing.
    view->place(QPointF(25, 35), 30);
    platform.saveAnswers = {Platform::SaveAnswer{path("over.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(platform.yesNoQuestions.size(), 1);
    EXPECT_TRUE(platform.yesNoQuestions[0].contains(QStringLiteral("会盖住第 1 页上已有的签名")))
        << platform.yesNoQuestions[0].toStdString();
    EXPECT_FALSE(QFile::exists(path("over.pdf")));

    // The page replaced after signing: the verdict says so, in the colour of a fault.
    QFile signedFile(path("signed.pdf"));
    ASSERT_TRUE(signedFile.open(QIODevice::ReadOnly));
    QByteArray bytes = signedFile.readAll();
    const QByteArray text = "0 0 1 rg 72 650 400 5 re f";
    const qint64 prev = bytes.mid(bytes.lastIndexOf("startxref") + 10).trimmed().split('\n')[0].toLongLong();
    const qsizetype at = bytes.size();
    bytes += "4 0 obj\n<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text +
             "\nendstream\nendobj\n";
    const qsizetype xref = bytes.size();
    bytes += "xref\n4 1\n" + QByteArray::number(at).rightJustified(10, '0') + " 00000 n \ntrailer\n<< /Size 40 /Root 1 0 R /Prev " +
             QByteArray::number(prev) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    platform.openAnswers = {written("tampered.pdf", bytes)};
    QTest::keyClick(sign->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(sign->documentPath(), path("tampered.pdf"));
    EXPECT_TRUE(verdict->text().contains(QStringLiteral("超出了签名人允许的范围：第 3 版替换了第 1 页的内容")))
        << verdict->text().toStdString();
    EXPECT_TRUE(verdict->styleSheet().contains(QStringLiteral("#b02020")));
}

// A certificate signature with trusted time, made in the window as a person makes it: the
// level chosen, the authority's address typed; its token checked by openssl against the
// signature; the choice remembered for the next signing.
TEST_F(SigningWindow, SignsWithTrustedTime)
{
    LocalAuthority authority(dir.path());
    ASSERT_TRUE(authority.ok());
    const QString p12 = authority.issueSigner(false);
    ASSERT_FALSE(p12.isEmpty());
    open(written("contract.pdf", twoPages()));
    platform.openAnswers = {p12};
    platform.passwordAnswers = {QStringLiteral("pw")};
    click(control<QPushButton>("btnCertificate"));
    auto* level = control<QComboBox>("cboLevel");
    ASSERT_TRUE(level->isEnabled());
    level->setFocus();
    QTest::keyClick(sign->windowHandle(), Qt::Key_Down);
    ASSERT_EQ(level->currentIndex(), 1);
    // No address yet: said, nothing written.
    platform.saveAnswers = {Platform::SaveAnswer{path("signed.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_TRUE(platform.messages.back().text.contains(QStringLiteral("请填写时间戳服务器的地址")));
    EXPECT_FALSE(QFile::exists(path("signed.pdf")));
    control<QLineEdit>("txtTsa")->setFocus();
    type(authority.url());
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(QFile::exists(path("signed.pdf"))) << platform.messages.back().text.toStdString();
    EXPECT_EQ(authority.asked, 1);
    const Outcome verified = render({QStringLiteral("--verify"), path("signed.pdf")});
    EXPECT_EQ(verified.code, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("level B-T, time-stamped"))) << verified.out.toStdString();
    EXPECT_TRUE(authority.tokenVerifies(path("signed.pdf"))) << "openssl ts -verify";
    // The next signing starts from the same choice.
    LevelChooser again(drawnFolder());
    EXPECT_EQ(again.level(), SignatureLevel::BT);
    EXPECT_EQ(again.authority(), authority.url());
}

// Several documents signed as the window shows one, on the last page of each: the results
// listed, a document that cannot be signed among them said, each signed copy opened from its
// line.
TEST_F(SigningWindow, SignsABatchOfDocuments)
{
    open(written("contract.pdf", twoPages()));
    platform.openManyAnswers = {{written("a.pdf", twoPages()), written("bad.pdf", "no document"),
                                 written("c.pdf", twoPages())}};
    click(control<QPushButton>("btnBatch"));
    BatchWindow* batch = sign->findChild<BatchWindow*>();
    ASSERT_NE(batch, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(batch));
    const auto in = [&](const char* name) { return batch->findChild<QWidget*>(QString::fromLatin1(name)); };
    QTest::mouseClick(in("btnBatchAdd"), Qt::LeftButton);
    ASSERT_EQ(qobject_cast<QListWidget*>(in("lstBatchDocuments"))->count(), 3);
    qobject_cast<QComboBox*>(in("cboBatchFrom"))->setCurrentIndex(1);
    qobject_cast<QSpinBox*>(in("spnBatchPage"))->setValue(1);
    QTest::mouseClick(in("btnBatchStart"), Qt::LeftButton);
    auto* results = qobject_cast<QListWidget*>(in("lstBatchResults"));
    ASSERT_EQ(results->count(), 3);
    QStringList lines;
    for (int i = 0; i < results->count(); ++i)
        lines << results->item(i)->text();
    lines.sort();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("✔ a.pdf → a-已签.pdf"))) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("✔ c.pdf → c-已签.pdf")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("✘ bad.pdf："))) << lines[2].toStdString();
    EXPECT_FALSE(QFile::exists(path("bad-已签.pdf")));
    // On the last page of each: the second page lists the stamp, the first does not.
    const QString signedCopy = path("a-已签.pdf");
    QPDF pdf;
    pdf.processFile(signedCopy.toLocal8Bit().constData());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    EXPECT_FALSE(pages[0].getObjectHandle().getKey("/Annots").isArray());
    EXPECT_TRUE(pages[1].getObjectHandle().getKey("/Annots").isArray());
    const QList<QListWidgetItem*> opened = results->findItems(QStringLiteral("✔ a.pdf"), Qt::MatchStartsWith);
    ASSERT_EQ(opened.size(), 1);
    results->setCurrentItem(opened[0]);
    results->setFocus();
    QTest::keyClick(results, Qt::Key_Return);
    ASSERT_FALSE(platform.openedUrls.empty());
    EXPECT_EQ(platform.openedUrls.back(), QUrl::fromLocalFile(signedCopy));
}

// A document locked by a password opens once its password is typed, asked again while it is
// wrong; one that is cancelled leaves the document open before; the signed copy keeps its lock.
TEST_F(SigningWindow, OpensADocumentLockedByAPassword)
{
    written("open.pdf", twoPages());
    for (const char* name : {"locked.pdf", "other.pdf"})
        ASSERT_EQ(QProcess::execute(QStringLiteral("qpdf"),
                                    {QStringLiteral("--encrypt"), QStringLiteral("user"),
                                     QStringLiteral("owner"), QStringLiteral("256"),
                                     QStringLiteral("--"), path("open.pdf"), path(name)}),
                  0);
    platform.passwordAnswers = {QStringLiteral("guess"), QStringLiteral("user")};
    open(path("locked.pdf"));
    EXPECT_EQ(platform.passwordQuestions.size(), 2);
    EXPECT_TRUE(platform.messages.empty());

    platform.openAnswers = {path("other.pdf")};
    QTest::keyClick(sign->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(platform.passwordQuestions.size(), 3);
    EXPECT_EQ(sign->documentPath(), path("locked.pdf")) << "cancelled: the open one stays";

    platform.saveAnswers = {Platform::SaveAnswer{path("signed.pdf"), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(sign->documentPath(), path("signed.pdf"));
    EXPECT_EQ(platform.passwordQuestions.size(), 3) << "the saved copy opens with the password given";
    written("password", "user\n");
    EXPECT_EQ(render({QStringLiteral("--verify"), path("signed.pdf"),
                      QStringLiteral("--document-password-file"), path("password")})
                  .code,
              0);
    EXPECT_NE(render({QStringLiteral("--verify"), path("signed.pdf")}).code, 0) << "still locked";
}

// On a screen smaller than it would be, the window opens within it, every control in reach;
// the page zooms with the keys, the signature staying where it is on it, and fits the width.
TEST_F(SigningWindow, FitsTheScreenAndZooms)
{
    // Signed, so that the signatures' panel takes its share of the room too.
    const QString p12 = ownIdentity(path("me.p12"));
    written("password", "pw\n");
    ASSERT_EQ(render({QStringLiteral("--stamp"), written("contract.pdf", twoPages()),
                      QStringLiteral("--at"), QStringLiteral("20,30"),
                      QStringLiteral("--sign-with"), p12, QStringLiteral("--password-file"),
                      path("password"), QStringLiteral("-o"), path("signed.pdf")})
                  .code,
              0);
    open(path("signed.pdf"));
    ASSERT_TRUE(control<QListWidget>("lstSignatures")->isVisible());
    const QRect room = sign->screen()->availableGeometry();
    // Run again on a 1920×1080 screen at twice the scale: the screen is what was asked for.
    if (const QString asked = qEnvironmentVariable("SORVEX_TEST_SCREEN"); !asked.isEmpty())
        ASSERT_EQ(QStringLiteral("%1x%2").arg(room.width()).arg(room.height()), asked);
    EXPECT_TRUE(room.contains(sign->frameGeometry())) << room.width() << "×" << room.height() << " holds no " << sign->frameGeometry().width() << "×" << sign->frameGeometry().height();
    for (QWidget* child : sign->findChildren<QWidget*>()) {
        if (!child->isVisible())
            continue;
        const QRect at(child->mapToGlobal(QPoint(0, 0)), child->size());
        EXPECT_TRUE(room.contains(at)) << child->objectName().toStdString();
    }
    // 整页 puts the whole page in what the person sees of it.
    PageView* view = sign->pageView();
    QWidget* viewport = control<QScrollArea>("scrPage")->viewport();
    click(control<QPushButton>("btnFitPage"));
    QCoreApplication::processEvents();
    const QRect seen(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
    const QRectF page = view->pageRect().translated(view->mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(QRectF(seen).contains(page)) << "the page cut";
    EXPECT_GT(page.height(), seen.height() * 0.8) << "the page shown small";

    view->place(QPointF(30, 40), 40);
    const double before = view->pageRect().width();
    QTest::keyClick(sign->windowHandle(), Qt::Key_Equal, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_NEAR(view->pageRect().width(), before * 1.25, 1);
    EXPECT_NEAR(view->atMm().x(), 30, 0.01);
    click(control<QPushButton>("btnFitWidth"));
    QCoreApplication::processEvents();
    EXPECT_NEAR(view->pageRect().width(), viewport->width() - 16, 1);
    EXPECT_GT(view->pageRect().width(), before);
    // Ctrl and the wheel zoom about the pointer: what is under it stays under it.
    const double wide = view->pageRect().width();
    const QPoint pointer = viewport->mapTo(sign, QPoint(viewport->width() * 4 / 5, viewport->height() / 3));
    const auto underPointer = [&] {
        const QRectF shown = view->pageRect();
        const QPointF at = view->mapFrom(sign, pointer);
        return QPointF((at.x() - shown.left()) / shown.width(), (at.y() - shown.top()) / shown.height());
    };
    const QPointF held = underPointer();
    QWheelEvent wheel(pointer, sign->mapToGlobal(pointer), {}, QPoint(0, 240), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(sign->windowHandle(), &wheel);
    QCoreApplication::processEvents();
    EXPECT_NEAR(view->pageRect().width(), wide * 1.15 * 1.15, 2);
    EXPECT_NEAR(underPointer().x(), held.x(), 0.01);
    EXPECT_NEAR(underPointer().y(), held.y(), 0.01);

    // Tab goes row by row: the certificate list before its button, saving before the place.
    control<QPushButton>("btnOpen")->setFocus();
    QStringList order;
    for (int i = 0; i < 30 && !order.contains(QStringLiteral("spnWidth")); ++i) {
        QTest::keyClick(sign->windowHandle(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    EXPECT_LT(order.indexOf(QStringLiteral("cboCertificate")), order.indexOf(QStringLiteral("btnCertificate")))
        << order.join(u' ').toStdString();
    EXPECT_LT(order.indexOf(QStringLiteral("btnSave")), order.indexOf(QStringLiteral("spnLeft")))
        << order.join(u' ').toStdString();

    // Every page in the strip beside it, pictured; a click on one shows it.
    auto* pages = control<QListWidget>("lstPages");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_TRUE(QTest::qWaitFor([pages] { return !pages->item(1)->icon().isNull(); }));
    click(pages->viewport(), pages->visualItemRect(pages->item(1)).center());
    EXPECT_EQ(control<QLabel>("lblPage")->text(), QStringLiteral("第 2 / 2 页"));

    // The pad fits the screen as well.
    w.activateWindow();
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("btnDraw")), Qt::LeftButton);
    QWidget* pad = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        pad = top->objectName() == QLatin1String("frmDraw") ? top : pad;
    ASSERT_NE(pad, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pad));
    EXPECT_TRUE(room.contains(pad->frameGeometry()));
    for (QWidget* child : pad->findChildren<QWidget*>())
        EXPECT_TRUE(!child->isVisible() || room.contains(QRect(child->mapToGlobal(QPoint(0, 0)), child->size())))
            << child->objectName().toStdString();
}

} // namespace
