// Printing through a real CUPS queue: a private daemon whose default printer files each job as a
// PDF in a folder of the test's own, started by the test set-up (tests/cups/cupsd.sh).
#include "app/startup.h"
#include "fakeplatform.h"
#include "kit.h"
#include "pixels.h"
#include "ui/mainwindow.h"
#include "ui/qtplatform.h"

#include <QDir>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Scripted dialogs, but the real default printer.
class PrintingPlatform : public FakePlatform
{
public:
    std::optional<PrintError> printTwips(const std::function<void(QPainter&)>& paint) override
    {
        return printOnDefaultPrinter(paint);
    }
};

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The PDFs the test printer has filed.
QStringList pdfsIn(const QString& folder)
{
    QStringList files = QDir(folder).entryList({QStringLiteral("job-*.pdf")}, QDir::Files);
    for (QString& f : files)
        f = folder + u'/' + f;
    return files;
}

// The PDFs of this test's jobs, once the queue is empty and `expected` of them have arrived (or
// after a minute and a half).
QStringList arrivedPdfs(const QString& folder, const QStringList& before, qsizetype expected)
{
    QStringList fresh;
    std::ignore = QTest::qWaitFor(
        [&] {
            fresh = pdfsIn(folder);
            for (const QString& f : before)
                fresh.removeAll(f);
            return fresh.size() >= expected &&
                   run(QStringLiteral("lpstat"), {QStringLiteral("-o")}).trimmed().isEmpty();
        },
        90000);
    return fresh;
}

// The printable area of the queue's default page, in points from the page's top-left corner,
// as its PPD says (not as Qt reads it).
QRectF imageableArea(const QString& ppdPath)
{
    QFile ppd(ppdPath);
    if (!ppd.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLatin1(ppd.readAll());
    const QString size =
        QRegularExpression(QStringLiteral("\\*DefaultPageSize: (\\S+)")).match(text).captured(1);
    const auto area = QRegularExpression(QStringLiteral("\\*ImageableArea %1[/:][^\"]*\"([^\"]+)\"")
                                             .arg(QRegularExpression::escape(size)))
                          .match(text);
    const auto paper =
        QRegularExpression(QStringLiteral("\\*PaperDimension %1[/:][^\"]*\"([^\"]+)\"")
                               .arg(QRegularExpression::escape(size)))
            .match(text);
    const QStringList a = area.captured(1).split(u' ', Qt::SkipEmptyParts);
    const QStringList p = paper.captured(1).split(u' ', Qt::SkipEmptyParts);
    if (a.size() != 4 || p.size() != 2)
        return {};
    const double height = p[1].toDouble();
    return QRectF(QPointF(a[0].toDouble(), height - a[3].toDouble()),
                  QPointF(a[2].toDouble(), height - a[1].toDouble()));
}

class RealPrinter : public testing::Test
{
protected:
    QString pdfFolder = qEnvironmentVariable("SORVEX_TEST_PDFS");
    void SetUp() override
    {
        if (QPrinterInfo::defaultPrinter().isNull())
            GTEST_SKIP() << "no private CUPS daemon (it needs root to run the CUPS-PDF backend)";
    }
};

TEST_F(RealPrinter, PrintsOnePagePerClickWithThePictureAtItsPhysicalSize)
{
    PrintingPlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w(values, platform);
    const QStringList before = pdfsIn(pdfFolder);
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("imgPrint")), Qt::LeftButton);
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("imgPrint")), Qt::LeftButton);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text.toStdString();

    const QStringList pdfs = arrivedPdfs(pdfFolder, before, 2);
    ASSERT_EQ(pdfs.size(), 2)
        << "two clicks, two jobs in " << pdfFolder.toStdString() << ": "
        << run(QStringLiteral("lpstat"), {QStringLiteral("-o")}).toStdString();
    const QString info = run(QStringLiteral("pdfinfo"), {pdfs[0]});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
        << info.toStdString();

    // At 100 dpi the picture (5820 x 3920 twips) is 404 x 272 pixels, at the printable area's
    // top-left corner.
    QTemporaryDir dir;
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
         QStringLiteral("-singlefile"), pdfs[0], dir.filePath(QStringLiteral("page"))});
    const QImage page(dir.filePath(QStringLiteral("page.png")));
    ASSERT_FALSE(page.isNull());
    const QRect picture = inkBox(page, [](QRgb c) { return qGray(c) < 250; });
    const QRectF printable = imageableArea(qEnvironmentVariable("SORVEX_TEST_PPD"));
    ASSERT_FALSE(printable.isEmpty()) << "the queue's PPD names its printable area";
    // In inches from the page's corner, as the PPD puts the printable area.
    const QRectF paint(printable.topLeft() / 72, printable.size() / 72);
    EXPECT_NEAR(picture.width(), 5820 / 14.4, 3);
    EXPECT_NEAR(picture.height(), 3920 / 14.4, 3);
    EXPECT_NEAR(picture.left(), paint.left() * 100, 1.5) << "at the printable area's left edge";
    EXPECT_NEAR(picture.top(), paint.top() * 100, 1.5) << "at the printable area's top edge";

    // Sharp: the glyph edges of a 600-dpi page show no 96-dpi staircase, i.e. the dark ink has
    // many more distinct edge positions than a stretched screen picture could give.
    const auto at600 = [](double inches) {
        return QString::number(qRound(inches * 600));
    };
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-x"), at600(paint.left()),
         QStringLiteral("-y"), at600(paint.top()), QStringLiteral("-W"), at600(5820 / 1440.0),
         QStringLiteral("-H"), at600(3920 / 1440.0), QStringLiteral("-png"),
         QStringLiteral("-singlefile"), pdfs[0], dir.filePath(QStringLiteral("fine"))});
    const QImage fine(dir.filePath(QStringLiteral("fine.png")));
    const QRect ink = inkBox(fine, darkInk);
    ASSERT_FALSE(ink.isEmpty());
    QSet<int> edges;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left() + 1; x <= ink.right(); ++x)
            if (darkInk(fine.pixel(x, y)) && !darkInk(fine.pixel(x - 1, y)))
                edges.insert(x % 100);
    // A 96-dpi picture stretched to 600 dpi puts edges only every 6.25 pixels: 16 of 100 places.
    EXPECT_GT(edges.size(), 60);
}

TEST_F(RealPrinter, AQueueThatRefusesOrIsStoppedIsReportedNotSwallowed)
{
    const QString server = qEnvironmentVariable("CUPS_SERVER");
    const QString queue = QPrinterInfo::defaultPrinter().printerName();
    const std::pair<const char*, const char*> states[] = {{"cupsreject", "cupsaccept"},
                                                          {"cupsdisable", "cupsenable"}};
    for (const auto& [stop, resume] : states) {
        SCOPED_TRACE(stop);
        run(QString::fromLatin1(stop), {QStringLiteral("-h"), server, queue});
        PrintingPlatform platform;
        const ProgramValues values = startProgram(kitDir(), platform);
        MainWindow w(values, platform);
        QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("imgPrint")), Qt::LeftButton);
        run(QString::fromLatin1(resume), {QStringLiteral("-h"), server, queue});
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_TRUE(platform.messages[0].text.contains(queue));
        EXPECT_FALSE(platform.messages[0].text.contains(QStringLiteral("错误号")));
    }
    EXPECT_TRUE(run(QStringLiteral("lpstat"), {QStringLiteral("-o")}).trimmed().isEmpty())
        << "nothing was queued";
}

TEST(NoPrinter, IsReportedInWords)
{
    if (!qEnvironmentVariable("CUPS_SERVER").endsWith(QLatin1String("/nobody.sock")))
        GTEST_SKIP() << "run with CUPS_SERVER pointing nowhere";
    PrintingPlatform platform;
    const ProgramValues values = startProgram(kitDir(), platform);
    MainWindow w(values, platform);
    QTest::mouseClick(w.findChild<QWidget*>(QStringLiteral("imgPrint")), Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, QStringLiteral("没有找到默认打印机，请先安装打印机。"));
    EXPECT_EQ(platform.messages[0].icon, Platform::Icon::Warning);
}

} // namespace
