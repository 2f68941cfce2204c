// The window, headless: layout, choices and typing, dragging, and the buttons.
#include "app/startup.h"
#include "badsizes.h"
#include "catalogue/stylerules.h"
#include "fakeplatform.h"
#include "kit.h"
#include "output/saveimage.h"
#include "pixels.h"
#include "plainpdf.h"
#include "render/names.h"
#include "ui/imagearea.h"
#include "ui/mainwindow.h"
#include "ui/picturebox.h"
#include "ui/pageview.h"
#include "ui/signwindow.h"
#include "ui/stylelist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextBrowser>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class Window : public testing::Test
{
protected:
    FakePlatform platform;
    ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w{values, platform};
    QSignalSpy drawings{&w, &MainWindow::signatureDrawn};

    template <class T> T* control(const char* name)
    {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QComboBox* cboFont() { return control<QComboBox>("cboFont"); }
    QComboBox* cboSize() { return control<QComboBox>("cboSize"); }
    QLineEdit* txtCN() { return control<QLineEdit>("txtCN"); }
    ImageArea* imgMove() { return control<ImageArea>("imgMove"); }
    QImage picture() { return control<PictureBox>("picMain")->picture(); }
    QRect ink() { return inkBox(picture(), darkInk); }

    void pickStyle(const QString& name)
    {
        const int index = cboFont()->findText(name);
        ASSERT_GE(index, 0);
        cboFont()->setCurrentIndex(index);
        Q_EMIT cboFont()->activated(index);
    }

    void mouse(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QWidget* target = imgMove();
        QMouseEvent e(type, QPointF(local), target->mapToGlobal(QPointF(local)), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    }

    // Press at `from` inside imgMove, move by `by` pixels in `steps`, release.
    void drag(QPoint from, QPoint by, int steps = 3)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        // The pointer travels over the window as a mouse does; the handle follows the ink.
        const QPoint start = imgMove()->mapTo(&w, from);
        QPoint pointer = start;
        for (int i = 1; i <= steps; ++i) {
            pointer = start + by * i / steps;
            mouse(QEvent::MouseMove, imgMove()->mapFrom(&w, pointer), Qt::NoButton, Qt::LeftButton);
        }
        mouse(QEvent::MouseButtonRelease, imgMove()->mapFrom(&w, pointer), Qt::LeftButton,
              Qt::NoButton);
    }
};

TEST_F(Window, OpensWithTheSampleSignatureOnTheDefaults)
{
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Sorvex签名设计软件 免费版"));
    EXPECT_EQ(cboFont()->currentText(), DefaultStyle);
    EXPECT_EQ(control<QComboBox>("cboImg")->currentIndex(), 1);
    EXPECT_EQ(cboSize()->currentText(), "72");
    EXPECT_EQ(cboSize()->count(), 19);
    EXPECT_EQ(w.inkColor(), qRgb(0, 0, 0));
    EXPECT_EQ(txtCN()->text().size(), 3);
    EXPECT_FALSE(ink().isEmpty());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Window, ControlsSitAtTheirPlacesInTabOrder)
{
    EXPECT_EQ(w.size(), QSize(719, 459));
    EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(32, 32))) << "the icon decodes";
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed size";
    const std::pair<const char*, QRect> places[] = {
        {"cboSize", {552, 224, 108, 24}},   {"cboImg", {552, 144, 108, 24}},
        {"cboFont", {552, 101, 108, 24}},   {"picMain", {39, 153, 388, 261}},
        {"txtEN", {304, 109, 115, 21}},     {"txtCN", {96, 109, 97, 19}},
        {"imgLogo", {40, 40, 385, 49}},     {"imgPrint", {584, 256, 65, 52}},
        {"imgSave", {528, 272, 49, 43}},    {"imgHelp", {584, 312, 81, 63}},
        {"imgUrlMore", {488, 320, 89, 47}}, {"lblColorPreview", {552, 184, 108, 25}},
        {"btnDraw", {456, 262, 66, 52}}};
    for (const auto& [name, rect] : places)
        EXPECT_EQ(control<QWidget>(name)->geometry(), rect) << name;
    EXPECT_EQ(imgMove()->parentWidget()->objectName(), "picMain");
    EXPECT_EQ(imgMove()->toolTip(), QStringLiteral("按住文字可以拖动到你想要的位置哦"));
    EXPECT_TRUE(cboSize()->isEditable());
    EXPECT_EQ(cboSize()->insertPolicy(), QComboBox::NoInsert);
    EXPECT_FALSE(cboFont()->isEditable());
}

TEST_F(Window, StylePickCapsTheSizeAndSetsTheInkThenDrawsOnce)
{
    EXPECT_EQ(cboSize()->itemText(cboSize()->currentIndex()), "72") << "the list shows the box's";
    cboSize()->setEditText(QStringLiteral("100"));
    pickStyle(SealStyle);
    EXPECT_EQ(cboSize()->currentText(), "48");
    EXPECT_EQ(cboSize()->itemText(cboSize()->currentIndex()), "48");
    EXPECT_EQ(w.inkColor(), qRgb(192, 0, 0));
    EXPECT_EQ(drawings.count(), 1);
    pickStyle(SealStyleIntaglio);
    EXPECT_EQ(w.inkColor(), qRgb(255, 255, 255));
    cboSize()->setEditText(QStringLiteral("big"));
    pickStyle(DefaultStyle);
    EXPECT_EQ(cboSize()->currentText(), "big") << "a text that is no number stays as typed";
    EXPECT_EQ(w.inkColor(), qRgb(0, 0, 0));
    ASSERT_EQ(platform.messages.size(), 1u) << "the unusable size is reported";
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
}

// The window shown and active, as a person has it: keys go to the focused widget through the
// window, clicks through the window to the widget under the pointer.
class ShownWindow : public Window
{
protected:
    QWindow* window = nullptr;

    void SetUp() override
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        window = w.windowHandle();
        drawings.clear();
    }
    void click(QWidget* widget)
    {
        QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(&w, widget->rect().center()));
    }
    void type(const QString& text)
    {
        for (const QChar c : text)
            QTest::keyClick(window, c.toLatin1());
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(window, k, m); }
    // Text an input method commits, as it does: to whatever has the focus.
    static void commit(const QString& text)
    {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(QApplication::focusObject(), &event);
    }
    // The document-signing window, a window of its own once it was opened.
    static SignWindow* signWindow()
    {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("frmSign"))
                return qobject_cast<SignWindow*>(top);
        return nullptr;
    }
};

// Tab reaches every control in reading order; Space presses the swatch and the picture
// buttons, F1 opens the help; every control has a name a screen reader says, in Chinese.
TEST_F(ShownWindow, TabReachesEveryControlInReadingOrderAndSpacePressesIt)
{
    const QStringList order{"txtCN",   "txtEN",    "picMain",  "btnSignDocument", "cboFont",
                            "cboImg",  "lblColorPreview", "cboSize", "btnDraw", "imgSave",
                            "imgPrint", "imgUrlMore", "imgHelp", "imgLogo", "txtCN"};
    click(txtCN());
    QStringList reached;
    for (qsizetype i = 0; i < order.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        while (focused && focused->parentWidget() != &w)
            focused = focused->parentWidget();
        ASSERT_NE(focused, nullptr);
        reached << focused->objectName();
        EXPECT_FALSE(focused->accessibleName().isEmpty()) << focused->objectName().toStdString();
        key(Qt::Key_Tab);
    }
    EXPECT_EQ(reached, order);

    platform.colorAnswers = {{1, qRgb(0, 128, 0)}};
    control<QWidget>("lblColorPreview")->setFocus();
    key(Qt::Key_Space);
    EXPECT_EQ(w.inkColor(), qRgb(0, 128, 0));
    control<QWidget>("imgSave")->setFocus();
    key(Qt::Key_Return);
    EXPECT_EQ(platform.saveDialogFilters.size(), 1u) << "the save dialog opened";
    key(Qt::Key_F1);
    auto* help = w.findChild<QTextBrowser*>(QStringLiteral("helpText"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->window()->isVisible());
}

// The worn choice is there for a seal only; Tab reaches it after the size and Space wears the
// seal in the picture, the same way each time.
TEST_F(ShownWindow, ASealCanBeWornWithTheKeyboard)
{
    auto* worn = control<QWidget>("chkWorn");
    EXPECT_FALSE(worn->isVisible());
    pickStyle(SealStyle);
    ASSERT_TRUE(worn->isVisible());
    const QImage clean = picture();
    control<QWidget>("cboSize")->setFocus();
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), worn);
    key(Qt::Key_Space);
    const QImage wornPicture = picture();
    EXPECT_NE(wornPicture, clean);
    key(Qt::Key_Space);
    EXPECT_EQ(picture(), clean);
    key(Qt::Key_Space);
    EXPECT_EQ(picture(), wornPicture);
    pickStyle(DefaultStyle);
    EXPECT_FALSE(worn->isVisible());
    EXPECT_FALSE(w.signatureSpec().worn) << "another style is not worn";
}

// Ctrl+O opens the signing window on the document the open dialog gives, a file that is no PDF
// said; the signature shows on the page, moved there by the arrow keys; Ctrl+S appends it to
// the document, placed where it was shown.
TEST_F(ShownWindow, SignsADocumentWhereTheSignatureIsShown)
{
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("contract.pdf"));
    {
        QPdfWriter pdf(document);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&pdf);
        painter.drawText(QPointF(500, 500), QStringLiteral("Contract, page 1"));
        pdf.newPage();
        painter.drawText(QPointF(500, 500), QStringLiteral("Contract, page 2"));
    }
    QFile text(dir.filePath(QStringLiteral("notes.pdf")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a PDF\n");
    text.close();
    platform.openAnswers = {text.fileName(), document};
    key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains(QStringLiteral("文档不能打开")));
    SignWindow* sign = signWindow();
    ASSERT_NE(sign, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sign));
    QTest::keyClick(sign->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(sign->documentPath(), document);
    PageView* view = sign->pageView();
    view->place(QPointF(20, 30), 40);
    view->setFocus();
    for (const Qt::Key k : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down})
        QTest::keyClick(sign->windowHandle(), k);
    EXPECT_NEAR(view->atMm().x(), 23, 0.01);
    EXPECT_NEAR(view->atMm().y(), 32, 0.01);

    const QString out = dir.filePath(QStringLiteral("signed.pdf"));
    platform.saveAnswers = {Platform::SaveAnswer{out, 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QFile original(document), saved(out);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_TRUE(bytes.startsWith(original.readAll())) << "appended to the document as it was";
    const QRegularExpressionMatch rect =
        QRegularExpression(QStringLiteral("/Rect \\[([-0-9.]+) ([-0-9.]+) ([-0-9.]+) ([-0-9.]+)"))
            .match(QString::fromLatin1(bytes));
    ASSERT_TRUE(rect.hasMatch());
    const double mm = 25.4 / 72;
    EXPECT_NEAR(rect.captured(1).toDouble() * mm, 23, 0.2);
    EXPECT_NEAR((QPageSize(QPageSize::A4).sizePoints().height() - rect.captured(4).toDouble()) * mm,
                32, 0.2);
    EXPECT_NEAR((rect.captured(3).toDouble() - rect.captured(1).toDouble()) * mm, 40, 0.2);
    ASSERT_FALSE(platform.yesNoQuestions.empty());
    EXPECT_TRUE(platform.yesNoQuestions.back().contains(QStringLiteral("已保存签署后的文档")));
    EXPECT_TRUE(platform.openedUrls.empty()) << "the desktop's viewer only when asked";

    // A page turned for showing: the signature goes where it is shown, as the renderer puts it.
    const QString turned = dir.filePath(QStringLiteral("turned.pdf"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("qpdf"),
                                {document, QStringLiteral("--rotate=+90"), turned}),
              0);
    ASSERT_TRUE(sign->openDocument(turned));
    view->place(QPointF(150, 40), 40);
    platform.saveAnswers = {Platform::SaveAnswer{dir.filePath(QStringLiteral("turned-signed.pdf")), 1}};
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    QProcess renderer;
    renderer.setProcessEnvironment([] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }());
    renderer.start(kitDir() + QStringLiteral("sorvex-sign-render"),
                   {QStringLiteral("--stamp"), turned, QStringLiteral("--at"), QStringLiteral("150,40"),
                    QStringLiteral("--width"), QStringLiteral("40"), QStringLiteral("-o"),
                    dir.filePath(QStringLiteral("turned-reference.pdf"))});
    ASSERT_TRUE(renderer.waitForFinished(60000));
    ASSERT_EQ(renderer.exitCode(), 0) << renderer.readAllStandardError().toStdString();
    const auto lastRect = [](const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(f.readAll());
        const qsizetype at = text.lastIndexOf(QStringLiteral("/Rect ["));
        return text.mid(at, text.indexOf(u']', at) - at).split(u' ', Qt::SkipEmptyParts).mid(1);
    };
    const QStringList shown = lastRect(dir.filePath(QStringLiteral("turned-signed.pdf")));
    const QStringList reference = lastRect(dir.filePath(QStringLiteral("turned-reference.pdf")));
    ASSERT_EQ(shown.size(), 4);
    ASSERT_EQ(reference.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(shown[i].toDouble(), reference[i].toDouble(), 0.5) << "corner value " << i;
}

// What cannot be signed is said, and nothing is asked or written: a page list that is none, a
// certificate whose password is wrong.
TEST_F(ShownWindow, SigningSaysWhatIsWrongAndWritesNothing)
{
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("contract.pdf"));
    {
        QPdfWriter pdf(document);
        QPainter painter(&pdf);
        painter.drawText(QPointF(500, 500), QStringLiteral("Contract"));
    }
    const QString p12 = dir.filePath(QStringLiteral("me.p12"));
    QProcess::execute(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                       dir.filePath(QStringLiteral("k.pem")), QStringLiteral("-out"),
                       dir.filePath(QStringLiteral("c.pem")), QStringLiteral("-subj"),
                       QStringLiteral("/CN=Me")});
    QProcess::execute(QStringLiteral("openssl"),
                      {QStringLiteral("pkcs12"), QStringLiteral("-export"), QStringLiteral("-inkey"),
                       dir.filePath(QStringLiteral("k.pem")), QStringLiteral("-in"),
                       dir.filePath(QStringLiteral("c.pem")), QStringLiteral("-out"), p12,
                       QStringLiteral("-passout"), QStringLiteral("pass:right")});
    ASSERT_TRUE(QFileInfo::exists(p12));
    // A small file that would cost a gigabyte to read is too large, not damaged; a document
    // encrypted with no user password opens and is signed as any other.
    const QString huge = dir.filePath(QStringLiteral("huge.pdf"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(pageWithHugeAnnotationList());
    }
    const QString encrypted = dir.filePath(QStringLiteral("encrypted.pdf"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("qpdf"),
                                {QStringLiteral("--encrypt"), QString(), QStringLiteral("owner"),
                                 QStringLiteral("256"), QStringLiteral("--"), document, encrypted}),
              0);
    platform.openAnswers = {huge, encrypted, p12};
    key(Qt::Key_O, Qt::ControlModifier);
    SignWindow* sign = signWindow();
    ASSERT_NE(sign, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sign));
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_TRUE(platform.messages.back().text.contains(QStringLiteral("太大"))) 
        << platform.messages.back().text.toStdString();
    const size_t said = platform.messages.size();
    QTest::keyClick(sign->windowHandle(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(platform.messages.size(), said) << platform.messages.back().text.toStdString();
    EXPECT_EQ(sign->documentPath(), encrypted);
    auto* pages = sign->findChild<QLineEdit*>(QStringLiteral("txtPages"));
    pages->setFocus();
    for (const char c : {'5', '-', '3'})
        QTest::keyClick(sign->windowHandle(), c);
    QTest::keyClick(sign->windowHandle(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_TRUE(platform.messages.back().text.contains(QStringLiteral("要签的页写得不对")));
    EXPECT_TRUE(platform.saveDialogFilters.empty()) << "no file was asked for";
    // A certificate whose password is wrong is asked for again; cancelled, none is chosen.
    pages->clear();
    platform.passwordAnswers = {QStringLiteral("wrong")};
    QTest::mouseClick(sign->findChild<QPushButton*>(QStringLiteral("btnCertificate")),
                      Qt::LeftButton);
    ASSERT_EQ(platform.passwordQuestions.size(), 2);
    EXPECT_TRUE(platform.passwordQuestions[1].contains(QStringLiteral("密码不对")));
    EXPECT_TRUE(sign->findChild<QLabel*>(QStringLiteral("lblCertificate"))
                    ->text()
                    .contains(QStringLiteral("不用证书")));
}

struct TypedSize
{
    const char* name;
    const char* typed;
    Qt::KeyboardModifiers enter; // Qt::KeypadModifier: the keypad's Enter
    bool fits = true;            // the sample name is drawn whole at that size
};

class SizeBox : public ShownWindow, public testing::WithParamInterface<TypedSize>
{
};

// The size typed is the size drawn, exactly as typed.
TEST_P(SizeBox, EnterDrawsExactlyTheSizeTyped)
{
    const TypedSize& c = GetParam();
    const double height72 = w.layout().textBox.height();
    const QImage before = picture();
    click(cboSize());
    key(Qt::Key_A, Qt::ControlModifier);
    type(QString::fromLatin1(c.typed));
    EXPECT_EQ(drawings.count(), 0) << "typing alone draws nothing";
    key(c.enter & Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return, c.enter);
    EXPECT_EQ(cboSize()->currentText(), QString::fromLatin1(c.typed)) << "nothing is completed";
    EXPECT_EQ(cboSize()->count(), 19) << "typed sizes are not added to the list";
    EXPECT_EQ(drawings.count(), 1);
    // A name too large for the picture at the size typed is drawn at the largest that fits,
    // and the line below the picture says so.
    const double drawn = w.pointsDrawn();
    EXPECT_EQ(drawn == QString::fromLatin1(c.typed).toDouble(), c.fits);
    EXPECT_EQ(control<QLabel>("lblStatus")->text().contains(QString::number(drawn) +
                                                            QStringLiteral(" 磅")),
              !c.fits);
    EXPECT_NEAR(w.layout().textBox.height(), height72 * drawn / 72, height72 / 100);
    EXPECT_TRUE(platform.messages.empty());
}

// A character the style's face lacks is named below the picture while the name holds it, and
// what a seal cannot hold: a person knows what is drawn in another hand or not at all.
TEST_F(ShownWindow, WhatThePictureDrawsOtherwiseIsNamedBelowIt)
{
    pickStyle(QStringLiteral("毛体"));
    click(txtCN());
    key(Qt::Key_A, Qt::ControlModifier);
    commit(QStringLiteral("王龑"));
    EXPECT_TRUE(control<QLabel>("lblStatus")->isVisibleTo(&w));
    EXPECT_TRUE(control<QLabel>("lblStatus")->text().contains(QStringLiteral("“龑”")))
        << control<QLabel>("lblStatus")->text().toStdString();
    key(Qt::Key_Backspace);
    EXPECT_FALSE(control<QLabel>("lblStatus")->text().contains(QStringLiteral("龑")));

    // A seal's nine cells hold nine characters: the rest is named, not dropped silently.
    pickStyle(SealStyle);
    key(Qt::Key_A, Qt::ControlModifier);
    commit(QStringLiteral("阿卜杜热合曼买买提江"));
    EXPECT_TRUE(control<QLabel>("lblStatus")->text().contains(QStringLiteral("“江”没有刻上")))
        << control<QLabel>("lblStatus")->text().toStdString();
}

// Each unusable size is said once, as typed, and the picture stays as it was.
TEST_F(ShownWindow, EnterWithAnUnusableSizeSaysSoAndKeepsThePicture)
{
    const QImage before = picture();
    click(cboSize());
    for (const char* typed : UnusableSizes) {
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_Backspace);
        type(QString::fromLatin1(typed));
        key(Qt::Key_Return);
        EXPECT_EQ(cboSize()->currentText(), QString::fromLatin1(typed));
    }
    EXPECT_EQ(drawings.count(), 0);
    EXPECT_EQ(picture(), before);
    ASSERT_EQ(platform.messages.size(), std::size(UnusableSizes));
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
}

// After a refused size the picture still follows the name, drawn at the last good size, and
// what is saved is what is shown; the box is marked and the line below the picture says why.
TEST_F(ShownWindow, ARefusedSizeDoesNotKeepANewNameFromBeingDrawnAndSaved)
{
    const QImage before = picture();
    click(cboSize());
    key(Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("abc"));
    key(Qt::Key_Return);
    ASSERT_EQ(platform.messages.size(), 1u);
    click(txtCN());
    key(Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("Li"));
    EXPECT_EQ(w.signatureSpec().chineseName, QStringLiteral("Li"));
    EXPECT_GT(drawings.count(), 0);
    EXPECT_NE(picture(), before);
    EXPECT_EQ(cboSize()->currentText(), QStringLiteral("abc")) << "what was typed stays";
    EXPECT_FALSE(cboSize()->toolTip().isEmpty());
    EXPECT_TRUE(control<QLabel>("lblStatus")->text().contains(QStringLiteral("72 磅")));

    QTemporaryDir dir;
    platform.saveAnswers.push_back(
        Platform::SaveAnswer{dir.filePath(QStringLiteral("li")), BmpType});
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("li.bmp"))).convertToFormat(QImage::Format_RGB32),
              picture().convertToFormat(QImage::Format_RGB32))
        << "the saved picture is the new name";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SizeBox,
    testing::Values(TypedSize{"NotInTheList", "50", {}}, TypedSize{"Small", "30", {}},
                    TypedSize{"KeypadEnter", "50", Qt::KeypadModifier},
                    TypedSize{"OneIsNotTen", "1", {}}, TypedSize{"FourIsNotFortyEight", "4", {}},
                    TypedSize{"SevenIsNotSeventyTwo", "7", {}},
                    TypedSize{"FourteenIsNot145", "14", {}}, TypedSize{"Largest", "2160", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShownWindow, CtrlSSavesAndCtrlPPrints)
{
    click(txtCN());
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(platform.saveDialogFilters.size(), 1u) << "the save dialog opened";
    key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(platform.printedPages.size(), 1u);
}

struct Nudge
{
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QPoint pixels;
};

class ArrowKeys : public ShownWindow, public testing::WithParamInterface<Nudge>
{
};

// With the picture focused, an arrow moves the text as a drag of that many pixels would.
TEST_P(ArrowKeys, MoveTheTextAsADragWould)
{
    const Nudge& n = GetParam();
    const QRectF start = w.layout().textBox;
    const QRect before = ink();
    click(control<PictureBox>("picMain"));
    ASSERT_TRUE(control<PictureBox>("picMain")->hasFocus());
    key(n.key, n.modifiers);
    key(n.key, n.modifiers);
    EXPECT_EQ(drawings.count(), 2);
    EXPECT_DOUBLE_EQ(w.layout().textBox.left(), start.left() + 2 * n.pixels.x() * TwipsPerPixel);
    EXPECT_DOUBLE_EQ(w.layout().textBox.top(), start.top() + 2 * n.pixels.y() * TwipsPerPixel);
    EXPECT_EQ(ink().topLeft() - before.topLeft(), 2 * n.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ArrowKeys,
    testing::Values(Nudge{"Right", Qt::Key_Right, {}, {10, 0}}, Nudge{"Up", Qt::Key_Up, {}, {0, -10}},
                    Nudge{"ShiftLeft", Qt::Key_Left, Qt::ShiftModifier, {-1, 0}},
                    Nudge{"ShiftDown", Qt::Key_Down, Qt::ShiftModifier, {0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// What the window shows is the picture, after every kind of change: only what changed is
// painted again, and a new background changes all of it.
TEST_F(ShownWindow, TheWindowShowsEveryChangeOfThePicture)
{
    const auto shown = [this] {
        QCoreApplication::processEvents();
        return w.screen()
            ->grabWindow(w.winId(), 39, 153, 388, 261)
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    auto* cboImg = control<QComboBox>("cboImg");
    for (int i : {0, 2, 1}) {
        cboImg->setCurrentIndex(i);
        Q_EMIT cboImg->activated(i);
        EXPECT_EQ(shown(), picture().convertToFormat(QImage::Format_RGB32)) << "background " << i;
    }
    drag(QPoint(5, 5), QPoint(40, 30));
    EXPECT_EQ(shown(), picture().convertToFormat(QImage::Format_RGB32)) << "after a drag";
    click(txtCN());
    type(QStringLiteral("a"));
    EXPECT_EQ(shown(), picture().convertToFormat(QImage::Format_RGB32)) << "after typing";
}

// The style list shows each style drawing the person's name, beside the style's name, and is
// wide enough for both; a new name is drawn the next time it opens. The rows it opens on are
// drawn as it opens, the others just after.
TEST_F(ShownWindow, TheStyleListPreviewsThePersonsName)
{
    QAbstractItemView* list = cboFont()->view();
    const auto previews = [this, list] {
        click(cboFont());
        EXPECT_TRUE(list->isVisible());
        EXPECT_FALSE(cboFont()
                         ->itemData(cboFont()->currentIndex(), StyleComboBox::PreviewRole)
                         .value<QImage>()
                         .isNull())
            << "the row the list opens on is drawn as it opens";
        EXPECT_TRUE(QTest::qWaitFor([this] {
            for (int i = 0; i < cboFont()->count(); ++i)
                if (cboFont()->itemData(i, StyleComboBox::PreviewRole).value<QImage>().isNull())
                    return false;
            return true;
        }));
        std::vector<QImage> out;
        for (int i = 0; i < cboFont()->count(); ++i) {
            out.push_back(cboFont()->itemData(i, StyleComboBox::PreviewRole).value<QImage>());
            EXPECT_GT(countPixels(out.back(), [](QRgb c) { return qAlpha(c) > 128; }), 40)
                << cboFont()->itemText(i).toStdString();
            EXPECT_GE(list->visualRect(list->model()->index(i, 0)).width(),
                      int(out.back().deviceIndependentSize().width()) +
                          cboFont()->fontMetrics().horizontalAdvance(cboFont()->itemText(i)))
                << "name and drawing fit: " << cboFont()->itemText(i).toStdString();
        }
        key(Qt::Key_Escape);
        return out;
    };
    // The closed box shows every name whole.
    QStyleOptionComboBox closed;
    closed.initFrom(cboFont());
    const QRect field = cboFont()->style()->subControlRect(QStyle::CC_ComboBox, &closed,
                                                           QStyle::SC_ComboBoxEditField, cboFont());
    for (int i = 0; i < cboFont()->count(); ++i)
        EXPECT_GE(field.width(), cboFont()->fontMetrics().horizontalAdvance(cboFont()->itemText(i)))
            << cboFont()->itemText(i).toStdString();
    const std::vector<QImage> first = previews();
    const int gongwen = cboFont()->findText(QStringLiteral("公文签"));
    EXPECT_NE(first[size_t(gongwen)], first[size_t(cboFont()->findText(QStringLiteral("毛体")))]);

    // One entry, painted: its name once, in the list's face, then the drawing beside it.
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.widget = list;
    option.font = list->font();
    option.rect = QRect(QPoint(0, 0), list->visualRect(list->model()->index(gongwen, 0)).size());
    QImage row(option.rect.size(), QImage::Format_RGB32), name = row;
    row.fill(option.palette.color(QPalette::Base));
    name.fill(option.palette.color(QPalette::Base));
    {
        QPainter p(&row);
        list->itemDelegate()->paint(&p, option, list->model()->index(gongwen, 0));
        QPainter q(&name);
        q.setFont(option.font);
        q.setPen(option.palette.color(QPalette::Text));
        q.drawText(option.rect.adjusted(StylePreviewDelegate::Gap, 0, 0, 0),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("公文签"));
    }
    const int nameWidth = 2 * StylePreviewDelegate::Gap +
                          option.fontMetrics.horizontalAdvance(QStringLiteral("公文签"));
    EXPECT_EQ(row.copy(0, 0, nameWidth, row.height()), name.copy(0, 0, nameWidth, row.height()));
    EXPECT_GT(countPixels(row, darkInk), countPixels(name, darkInk) + 40) << "and the drawing";

    click(txtCN());
    type(QStringLiteral("ab"));
    const std::vector<QImage> second = previews();
    EXPECT_NE(second[size_t(gongwen)], first[size_t(gongwen)]) << "the new name is drawn";
}

TEST_F(ShownWindow, ThePictureShowsWhenItHasFocus)
{
    auto* picture = control<PictureBox>("picMain");
    const QImage unfocused = picture->grab().toImage();
    click(picture);
    const QImage focused = picture->grab().toImage();
    EXPECT_NE(focused, unfocused);
    EXPECT_EQ(focused.copy(10, 10, 300, 200), unfocused.copy(10, 10, 300, 200))
        << "the mark is at the edge, the picture itself unchanged";
    EXPECT_EQ(w.picture(), control<PictureBox>("picMain")->picture())
        << "nothing of the mark is saved";
}

// An unusable size is said when a size is chosen, never from typing elsewhere or dragging.
TEST_F(ShownWindow, AnUnusableSizeIsNotSaidAgainWhileTypingANameOrDragging)
{
    click(cboSize());
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_Backspace);
    const QImage before = picture();
    click(txtCN());
    type(QStringLiteral("ab"));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_NE(picture(), before) << "the picture follows the name, at the last good size";
    drag(QPoint(5, 5), QPoint(20, 0));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(Window, EmptyingTheNameKeepsTheLastPicture)
{
    const QImage before = picture();
    txtCN()->clear();
    EXPECT_EQ(drawings.count(), 0);
    EXPECT_EQ(picture(), before);
    txtCN()->insert(QStringLiteral("李"));
    EXPECT_EQ(drawings.count(), 1);
}

struct Drag
{
    const char* name;
    const char* style;
    QPoint by;
    bool border; // shown while held; a seal's frame is its own
};

class Dragging : public Window, public testing::WithParamInterface<Drag>
{
};

// The ink follows the pointer's travel exactly; any other change puts the text back at its
// centred place.
TEST_P(Dragging, MovesTheInkByThePointersTravel)
{
    const Drag& c = GetParam();
    pickStyle(QString::fromUtf8(c.style));
    drawings.clear();
    const auto ink = [this] {
        return inkBox(picture(),
                      [](QRgb p) { return qGray(p) < 100 || qRed(p) - qGreen(p) > 100; });
    };
    const QRect before = ink();
    EXPECT_TRUE(imgMove()->geometry().contains(before)) << "the handle covers what is seen";
    // The handle is the ink: within a pixel of what is painted on every side.
    EXPECT_LE(std::abs(imgMove()->geometry().left() - before.left()), 1);
    EXPECT_LE(std::abs(imgMove()->geometry().top() - before.top()), 1);
    EXPECT_LE(std::abs(imgMove()->geometry().right() - before.right()), 1);
    EXPECT_LE(std::abs(imgMove()->geometry().bottom() - before.bottom()), 1);
    const QRectF start = w.layout().textBox;
    mouse(QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(imgMove()->hasBorder(), c.border);
    mouse(QEvent::MouseButtonRelease, {3, 3}, Qt::LeftButton, Qt::NoButton);
    drag(QPoint(3, 3), c.by);
    EXPECT_EQ(drawings.count(), 3);
    EXPECT_EQ(ink().topLeft() - before.topLeft(), c.by);
    // Drawn at whole twips: a centred place may lie between them.
    EXPECT_DOUBLE_EQ(w.layout().textBox.left(), nearest(start.left() + c.by.x() * TwipsPerPixel));
    EXPECT_DOUBLE_EQ(w.layout().textBox.top(), nearest(start.top() + c.by.y() * TwipsPerPixel));
    EXPECT_FALSE(imgMove()->hasBorder());

    pickStyle(QString::fromUtf8(c.style));
    EXPECT_DOUBLE_EQ(w.layout().textBox.top(), start.top());
}

INSTANTIATE_TEST_SUITE_P(Table, Dragging,
                         testing::Values(Drag{"Ordinary", "公文签", {30, 20}, true},
                                         Drag{"Folder", "艺术签", {-25, 12}, true},
                                         Drag{"Latin", "英文签-流畅", {-5, -20}, true},
                                         Drag{"Seal", "篆印体", {10, 0}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, OnlyTheLeftButtonAloneDrags)
{
    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::RightButton);
    EXPECT_FALSE(imgMove()->hasBorder());
    mouse(QEvent::MouseMove, {25, 25}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(drawings.count(), 0);

    mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(imgMove()->hasBorder());
    mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(imgMove()->hasBorder()) << "released without a move";
    EXPECT_EQ(drawings.count(), 0);
}

// 使用必读 shows the help that ships with the kit in a window of its own, with no browser;
// a web page that cannot be opened is said, with its address.
TEST_F(Window, HelpShowsWithoutABrowserAndAPageThatCannotOpenIsSaid)
{
    platform.urlsOpen = false;
    for (const char* name : {"imgHelp", "imgHelp"})
        QTest::mouseClick(control<QWidget>(name), Qt::LeftButton);
    auto* help = w.findChild<QTextBrowser*>(QStringLiteral("helpText"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->window()->isVisible());
    EXPECT_EQ(w.findChildren<QTextBrowser*>().size(), 1) << "one help window, shown again";
    for (const char* topic : {"拖动", "保存", "打印", "fonts/电脑字", "images/", "骑缝章", "证书", "做旧"})
        EXPECT_TRUE(help->toPlainText().contains(QString::fromUtf8(topic))) << topic;
    EXPECT_TRUE(platform.openedUrls.empty());
    EXPECT_TRUE(platform.messages.empty());

    for (const char* name : {"imgLogo", "imgUrlMore"})
        QTest::mouseClick(control<QWidget>(name), Qt::LeftButton);
    ASSERT_EQ(platform.openedUrls.size(), 2u);
    EXPECT_EQ(platform.openedUrls[0], QUrl(MakerHomePage));
    EXPECT_EQ(platform.openedUrls[1], platform.openedUrls[0]);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_TRUE(platform.messages[0].text.contains(MakerHomePage));
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
    EXPECT_EQ(drawings.count(), 0);
}

// Cancel changes nothing: no drawing, and the text stays where it was dragged.
TEST_F(Window, ColourChoiceStartsFromTheInkAndCancelChangesNothing)
{
    platform.colorAnswers = {{1, qRgb(0, 0, 255)}, {0, qRgb(255, 0, 0)}};
    QTest::mouseClick(control<QWidget>("lblColorPreview"), Qt::LeftButton);
    EXPECT_EQ(w.inkColor(), qRgb(0, 0, 255));
    EXPECT_GT(countPixels(picture(), [](QRgb c) { return qBlue(c) > 200 && qRed(c) < 50; }), 100);
    drag(QPoint(5, 5), QPoint(30, 20));
    const QRectF dragged = w.layout().textBox;
    const QImage before = picture();
    const qsizetype drawn = drawings.count();
    QTest::mouseClick(control<QWidget>("lblColorPreview"), Qt::LeftButton);
    EXPECT_EQ(w.inkColor(), qRgb(0, 0, 255)) << "cancel keeps the colour";
    EXPECT_EQ(drawings.count(), drawn) << "and draws nothing";
    EXPECT_EQ(w.layout().textBox, dragged);
    EXPECT_EQ(picture(), before);
    ASSERT_EQ(platform.colorDialogs.size(), 2u);
    EXPECT_EQ(platform.colorDialogs[0].first, qRgb(0, 0, 0));
    EXPECT_EQ(platform.colorDialogs[1].first, qRgb(0, 0, 255));
    EXPECT_EQ(platform.colorDialogs[1].second, QList<QRgb>(16, qRgb(0, 0, 0)));
}

TEST_F(Window, PrintDrawsThePictureAtItsOuterSizeOrReportsTheFailure)
{
    QTest::mouseClick(control<QWidget>("imgPrint"), Qt::LeftButton);
    ASSERT_EQ(platform.printedPages.size(), 1u);
    // 5820 x 3920 twips at a tenth of a twip per pixel: 582 x 392 pixels from the corner.
    const QRect page =
        inkBox(platform.printedPages[0], [](QRgb c) { return c != qRgb(255, 255, 255); });
    EXPECT_LE(page.left(), 1);
    EXPECT_NEAR(page.right(), 581, 2);

    platform.printFailure = Platform::PrintError{482, QStringLiteral("没有找到默认打印机")};
    QTest::mouseClick(control<QWidget>("imgPrint"), Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, QStringLiteral("没有找到默认打印机")) << "no error number";
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
    EXPECT_EQ(platform.messages[0].caption, AppTitle);
}

struct SavedPicture
{
    const char* name;
    int type;
    int scale;
    bool transparent;
};

class SaveTypes : public Window, public testing::WithParamInterface<SavedPicture>
{
};

// Each picture type writes the picture as shown: at its size, or drawn afresh four times as
// large; with or without its background.
TEST_P(SaveTypes, WriteThePictureAsShown)
{
    const SavedPicture& c = GetParam();
    QTemporaryDir dir;
    drag(QPoint(4, 4), QPoint(-20, 10));
    platform.saveAnswers.push_back(
        Platform::SaveAnswer{dir.filePath(QStringLiteral("sig")), c.type});
    QTest::mouseClick(control<QWidget>("imgSave"), Qt::LeftButton);
    const QString path =
        dir.filePath(c.type == BmpType ? QStringLiteral("sig.bmp") : QStringLiteral("sig.png"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, QStringLiteral("保存完毕！\r\n") + path);
    EXPECT_EQ(platform.messages[0].caption, AppTitle);
    const QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(388, 261) * c.scale);
    EXPECT_EQ(saved.convertToFormat(QImage::Format_ARGB32),
              w.picture(c.scale, c.transparent).convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(qAlpha(saved.pixel(0, 0)), c.transparent ? 0 : 255);
    const auto dark = [](QRgb p) {
        return qAlpha(p) > 128 && darkInk(p);
    };
    const QRect shown = inkBox(picture(), dark), big = inkBox(saved, dark);
    EXPECT_NEAR(big.left(), c.scale * shown.left(), c.scale);
    EXPECT_NEAR(big.width(), c.scale * shown.width(), 2 * c.scale);
}

INSTANTIATE_TEST_SUITE_P(Table, SaveTypes,
                         testing::Values(SavedPicture{"Bmp", BmpType, 1, false},
                                         SavedPicture{"SharpPng", SharpPngType, 4, false},
                                         SavedPicture{"SharpTransparentPng",
                                                      SharpTransparentPngType, 4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, SaveAsPdfDrawsThePictureAsShownInOutlines)
{
    QTemporaryDir dir;
    drag(QPoint(4, 4), QPoint(-20, 10));
    platform.saveAnswers.push_back(
        Platform::SaveAnswer{dir.filePath(QStringLiteral("sig")), PdfType});
    QTest::mouseClick(control<QWidget>("imgSave"), Qt::LeftButton);
    const QString pdf = dir.filePath(QStringLiteral("sig.pdf"));
    ASSERT_TRUE(QFile::exists(pdf));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-singlefile"),
                       QStringLiteral("-png"), pdf, dir.filePath(QStringLiteral("page"))});
    const QImage page(dir.filePath(QStringLiteral("page.png")));
    ASSERT_EQ(page.width(), 388);
    EXPECT_NEAR(page.height(), 261.3, 1) << "3,920 twips";
    const QRect shown = inkBox(picture(), darkInk), printed = inkBox(page, darkInk);
    ASSERT_FALSE(shown.isEmpty());
    for (const auto& [a, b] :
         {std::pair(shown.left(), printed.left()), std::pair(shown.top(), printed.top()),
          std::pair(shown.right(), printed.right()), std::pair(shown.bottom(), printed.bottom())})
        EXPECT_NEAR(a, b, 2);
}

TEST_F(Window, ASharperPictureKeepsTheLayout)
{
    const QImage one = w.picture(1);
    const QImage two = w.picture(2);
    ASSERT_EQ(two.size(), one.size() * 2);
    const QRect a = inkBox(one, darkInk);
    const QRect b = inkBox(two, darkInk);
    EXPECT_NEAR(b.left(), 2 * a.left(), 2);
    EXPECT_NEAR(b.top(), 2 * a.top(), 2);
    EXPECT_NEAR(b.width(), 2 * a.width(), 3);
}

} // namespace
