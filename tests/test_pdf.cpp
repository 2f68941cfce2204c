// PDF: the picture as a page, and the signature put onto a document, checked with poppler.
#include "kit.h"
#include "pdf/stamp.h"
#include "pdf/pagelist.h"
#include "pixels.h"
#include "pdftools.h"
#include "plainpdf.h"
#include "rendercli.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <map>

#include <zlib.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace {

// `data` followed by `zeros` zero bytes, compressed with zlib as a PDF's FlateDecode is, a
// piece at a time.
QByteArray deflated(const QByteArray& data, qint64 zeros = 0)
{
    z_stream z = {};
    deflateInit(&z, Z_BEST_COMPRESSION);
    QByteArray out;
    const QByteArray block(1 << 20, '\0');
    char buffer[1 << 16];
    const auto pump = [&](const QByteArray& in, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    };
    pump(data, Z_NO_FLUSH);
    for (qint64 left = zeros; left > 0; left -= block.size())
        pump(left >= block.size() ? block : block.left(left), Z_NO_FLUSH);
    pump(QByteArray(), Z_FINISH);
    deflateEnd(&z);
    return out;
}

bool sealRed(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80;
}

class Pdf : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // A document of `pages` A4 pages, a line of text on each, as other programs make them.
    QString contract(int pages)
    {
        const int id = QFontDatabase::addApplicationFont(
            kitDir() + QStringLiteral("/fonts/电脑字/公文签(SorvexGongwen).dat"));
        const QString family = QFontDatabase::applicationFontFamilies(id).value(0);
        const QString file = path("contract.pdf");
        QPdfWriter pdf(file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(254);
        QPainter painter(&pdf);
        painter.setFont(QFont(family, 14));
        for (int i = 1; i <= pages; ++i) {
            if (i > 1)
                pdf.newPage();
            painter.drawText(QPointF(250, 400),
                             QStringLiteral("合同 page %1 of the contract").arg(i));
            painter.fillRect(QRectF(250, 600, 1000, 20), Qt::blue);
        }
        painter.end();
        return file;
    }
};

TEST_F(Pdf, OnePageOfThePicturesSizeWithOutlinesAndNoFont)
{
    for (const bool transparent : {false, true}) {
        SCOPED_TRACE(transparent ? "transparent" : "with background");
        QStringList args = {QStringLiteral("--style"), QStringLiteral("篆印体"),
                            QStringLiteral("-o"), path("sig.pdf")};
        if (transparent)
            args << QStringLiteral("--transparent");
        const Outcome r = render(args);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QString info = run(QStringLiteral("pdfinfo"), {path("sig.pdf")});
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size: +291 x 196 pts"))))
            << info.toStdString();
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +1\\n"))));
        EXPECT_EQ(run(QStringLiteral("pdffonts"), {path("sig.pdf")}).count(u'\n'), 2)
            << "a header and no font";
        const int images =
            run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path("sig.pdf")})
                .count(u'\n') -
            2;
        EXPECT_EQ(images, transparent ? 0 : 1);
        // The seal lands where the raster picture has it.
        render({QStringLiteral("--style"), QStringLiteral("篆印体"), QStringLiteral("-o"),
                path("sig.png")});
        run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-singlefile"),
             QStringLiteral("-png"), path("sig.pdf"), path("page")});
        const QRect vector = inkBox(QImage(path("page.png")), sealRed);
        const QRect raster = inkBox(QImage(path("sig.png")), sealRed);
        EXPECT_NEAR(vector.left(), raster.left(), 2);
        EXPECT_NEAR(vector.top(), raster.top(), 2);
        EXPECT_NEAR(vector.right(), raster.right(), 2);
        EXPECT_NEAR(vector.bottom(), raster.bottom(), 2);
    }
}

TEST_F(Pdf, StampPutsTheSignatureWhereAskedAndLeavesTheRestAsItWas)
{
    const QString original = contract(3);
    QFile in(original);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray before = in.readAll();
    const QImage was[] = {pageImage(original, 1, path("o")), pageImage(original, 2, path("o")),
                          pageImage(original, 3, path("o"))};

    struct Ask
    {
        const char* at;
        const char* width;
        double leftMm, topMm, widthMm;
    };
    for (const bool flatten : {false, true})
    for (const Ask& ask :
         {Ask{"20,30", nullptr, 20, 30, 0}, Ask{"120.5,200", "50", 120.5, 200, 50}}) {
        SCOPED_TRACE(std::string(ask.at) + (flatten ? " flattened" : " appended"));
        QStringList args = {QStringLiteral("--style"), QStringLiteral("篆印体"),
                            QStringLiteral("--stamp"), original,
                            QStringLiteral("--page"),  QStringLiteral("2"),
                            QStringLiteral("--at"),    QString::fromUtf8(ask.at),
                            QStringLiteral("-o"),      path("signed.pdf")};
        if (ask.width)
            args << QStringLiteral("--width") << QString::fromUtf8(ask.width);
        if (flatten)
            args << QStringLiteral("--flatten");
        const Outcome r = render(args);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path("signed.pdf")})
                        .contains(QStringLiteral("No syntax or stream encoding errors")));

        const QString info = run(QStringLiteral("pdfinfo"), {path("signed.pdf")});
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +3\\n"))));
        EXPECT_EQ(run(QStringLiteral("pdftotext"), {path("signed.pdf"), QStringLiteral("-")}),
                  run(QStringLiteral("pdftotext"), {original, QStringLiteral("-")}));

        // The seal's frame is the text's box: its corner is where it was asked for.
        const QImage page2 = pageImage(path("signed.pdf"), 2, path("p2"));
        const QRect ink = inkBox(page2, sealRed);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(ink.left() / 10.0, ask.leftMm, 0.5);
        EXPECT_NEAR(ink.top() / 10.0, ask.topMm, 0.5);
        if (ask.widthMm > 0) {
            EXPECT_NEAR(ink.width() / 10.0, ask.widthMm, 0.5);
        }
        // Around the signature the page is as it was.
        const QRect signature = ink.adjusted(-2, -2, 2, 2);
        ASSERT_EQ(page2.size(), was[1].size());
        int changed = 0;
        forEachPixelPair(page2, was[1], [&](int x, int y, QRgb now, QRgb then) {
            changed += now != then && !signature.contains(x, y);
        });
        EXPECT_EQ(changed, 0);

        for (const int other : {1, 3})
            EXPECT_EQ(pageImage(path("signed.pdf"), other, path("s")), was[other - 1])
                << "page " << other;
        // Every stream of the document travels byte for byte.
        QFile out(path("signed.pdf"));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QByteArray after = out.readAll();
        // Appended, the document's own bytes come first, every one as it was.
        EXPECT_EQ(after.startsWith(before), !flatten);
        int streams = 0;
        for (qsizetype at = before.indexOf("stream\n"); at >= 0;
             at = before.indexOf("stream\n", at + 1)) {
            if (at > 3 && before.mid(at - 3, 3) == "end")
                continue;
            const qsizetype end = before.indexOf("endstream", at);
            // The line end before "endstream" is not part of the data.
            QByteArray data = before.mid(at + 7, end - at - 7);
            data.chop(data.endsWith("\r\n") ? 2 : data.endsWith('\n') ? 1 : 0);
            EXPECT_TRUE(after.contains(data)) << "stream at " << at;
            ++streams;
        }
        EXPECT_GE(streams, 3);
    }
}

// However a page is turned for showing, however far its crop box reaches beyond its paper,
// whatever its unit and whatever state its content leaves, the signature stands upright with
// its ink's corner where it was asked for on the page as shown, as wide as asked.
struct Shown
{
    int rotate;
    const char* cropBox = "";     // empty: none
    const char* moreContent = ""; // put after the page's own content
    double userUnit = 0;          // 0: none
    const char* style = "篆印体";
};

class StampOnATurnedPage : public Pdf, public testing::WithParamInterface<Shown>
{
};

TEST_P(StampOnATurnedPage, StandsUprightAtThePlaceAsShown)
{
    const Shown& c = GetParam();
    const QByteArray plain = contract(1).toLocal8Bit(), turned = path("turned.pdf").toLocal8Bit();
    {
        QPDF document;
        document.processFile(plain.constData());
        QPDFObjectHandle page = document.getAllPages().at(0);
        page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(c.rotate));
        if (*c.cropBox)
            page.replaceKey("/CropBox", QPDFObjectHandle::parse(c.cropBox));
        if (*c.moreContent)
            QPDFPageObjectHelper(page).addPageContents(
                QPDFObjectHandle::newStream(&document, c.moreContent), false);
        if (c.userUnit > 0) {
            // Twice the unit, half the box: the same paper, which the page shows as before.
            page.replaceKey("/UserUnit", QPDFObjectHandle::newReal(c.userUnit, 1));
            QPDFObjectHandle::Rectangle box = page.getKey("/MediaBox").getArrayAsRectangle();
            page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                             box.llx, box.lly, box.urx / c.userUnit,
                                             box.ury / c.userUnit)));
        }
        QPDFWriter w(document, turned.constData());
        w.write();
    }
    const bool seal = QByteArray(c.style) == "篆印体";
    // Five characters: a seal of two columns and three rows, so that upright is taller.
    const Outcome r = render({QStringLiteral("--style"), QString::fromUtf8(c.style),
                              QStringLiteral("--cn"),
                              seal ? QStringLiteral("买提艾力江") : QStringLiteral("王晓明"),
                              QStringLiteral("--stamp"), path("turned.pdf"), QStringLiteral("--at"),
                              QStringLiteral("20,30"), QStringLiteral("--width"), QStringLiteral("40"),
                              QStringLiteral("--color"), QStringLiteral("#00c000"),
                              QStringLiteral("-o"), path("signed.pdf")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QImage page = pageImage(path("signed.pdf"), 1, path("p"));
    // pdftoppm draws a page in its own units as if they were points: a millimetre of paper is
    // fewer pixels.
    const double perMm = 10 / (c.userUnit > 0 ? c.userUnit : 1);
    const QRect ink = seal ? inkBox(page, sealRed) : inkBox(page, [](QRgb p) {
        return qGreen(p) > 120 && qRed(p) < 100 && qBlue(p) < 100;
    });
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.left() / perMm, 20, 0.5);
    EXPECT_NEAR(ink.top() / perMm, 30, 0.5);
    EXPECT_NEAR(ink.width() / perMm, 40, 0.5);
    if (seal) {
        EXPECT_GT(ink.height(), ink.width()) << "the seal is taller than wide";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StampOnATurnedPage,
                         testing::Values(Shown{0}, Shown{90}, Shown{180}, Shown{270},
                                         Shown{0, "[-100 -100 700 942]"},
                                         // restores states it never saved, then shrinks all
                                         Shown{0, "", "Q Q 0.5 0 0 0.5 300 0 cm q"},
                                         Shown{0, "", "", 2},
                                         // a name's ink, not its text's box, is put at the place
                                         Shown{0, "", "", 0, "公文签"}, Shown{90, "", "", 0, "公文签"},
                                         Shown{0, "[-100 -100 700 942]", "", 0, "公文签"},
                                         Shown{0, "", "Q Q 0.5 0 0 0.5 300 0 cm q", 0, "公文签"},
                                         Shown{0, "", "", 2, "公文签"}));

// A name far wider than the picture is put on a document whole, not cut to the picture.
TEST_F(Pdf, StampCarriesTheWholeNameWhateverItsSize)
{
    const QString original = contract(1);
    std::vector<int> widths;
    for (const char* size : {"30", "300"}) {
        SCOPED_TRACE(size);
        const Outcome r = render(
            {QStringLiteral("--style"), QStringLiteral("英文签-流畅"), QStringLiteral("--en"),
             QStringLiteral("Xiaoming Wang"), QStringLiteral("--color"), QStringLiteral("#00c000"),
             QStringLiteral("--size"), QString::fromLatin1(size), QStringLiteral("--stamp"),
             original, QStringLiteral("--at"), QStringLiteral("10,10"), QStringLiteral("--width"),
             QStringLiteral("80"), QStringLiteral("-o"), path("signed.pdf")});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const auto green = [](QRgb c) {
            return qGreen(c) > 120 && qRed(c) < 100;
        };
        widths.push_back(inkBox(pageImage(path("signed.pdf"), 1, path("p")), green).width());
    }
    EXPECT_NEAR(widths[0] / 10.0, widths[1] / 10.0, 1.0);
    EXPECT_GT(widths[1] / 10.0, 60);
}

// Signed documents of every make keep their signatures when ours is appended: the documents'
// bytes stay as they were and a reader sees every signature valid, the stamp where it was asked.
struct Kind
{
    const char* name;
    const char* rewrite;  // qpdf's options, space-separated, the contract is written anew with
    int signatures = 0;   // signed by another program this many times first
    const char* certified = nullptr; // the DocMDP permission it is certified with
    int ours = 0;         // then signed with our own certificate this many times
    int hugeArray = 0;    // an earlier update adds an array of this many numbers nothing reads
};

class AppendedStamp : public Pdf, public testing::WithParamInterface<Kind>
{
protected:
    // Another party's signing identity, made now: a self-signed certificate in an NSS store.
    QString signingStore()
    {
        const QString store = path("nss");
        QDir().mkpath(store);
        EXPECT_EQ(status(QStringLiteral("openssl"),
                         {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                          QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                          QStringLiteral("-keyout"), path("key.pem"), QStringLiteral("-out"),
                          path("cert.pem"), QStringLiteral("-days"), QStringLiteral("30"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=Other Party")}),
                  0);
        EXPECT_EQ(status(QStringLiteral("openssl"),
                         {QStringLiteral("pkcs12"), QStringLiteral("-export"),
                          QStringLiteral("-inkey"), path("key.pem"), QStringLiteral("-in"),
                          path("cert.pem"), QStringLiteral("-out"), path("id.p12"),
                          QStringLiteral("-passout"), QStringLiteral("pass:pw"),
                          QStringLiteral("-name"), QStringLiteral("other")}),
                  0);
        const QString nss = QStringLiteral("sql:") + store;
        EXPECT_EQ(status(QStringLiteral("certutil"), {QStringLiteral("-N"), QStringLiteral("-d"),
                                                      nss, QStringLiteral("--empty-password")}),
                  0);
        EXPECT_EQ(status(QStringLiteral("pk12util"),
                         {QStringLiteral("-i"), path("id.p12"), QStringLiteral("-d"), nss,
                          QStringLiteral("-W"), QStringLiteral("pw")}),
                  0);
        return nss;
    }
    int validSignatures(const QString& nss, const QString& pdf)
    {
        return int(run(QStringLiteral("pdfsig"), {QStringLiteral("-nssdir"), nss, pdf})
                       .count(QStringLiteral("Signature is Valid.")));
    }
};

TEST_P(AppendedStamp, KeepsTheDocumentsBytesAndSignatures)
{
    const Kind& kind = GetParam();
    QString document = contract(2);
    if (*kind.rewrite) {
        ASSERT_EQ(status(QStringLiteral("qpdf"), QString::fromUtf8(kind.rewrite).split(u' ')
                                                     << document << path("rewritten.pdf")),
                  0);
        document = path("rewritten.pdf");
    }
    if (kind.certified) {
        const QByteArray from = document.toLocal8Bit(), to = path("certified.pdf").toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFObjectHandle certification = source.makeIndirectObject(QPDFObjectHandle::parse(
            std::string("<< /Type /Sig /Reference [ << /Type /SigRef /TransformMethod /DocMDP "
                        "/TransformParams << /Type /TransformParams /V /1.2 /P ") +
            kind.certified + " >> >> ] >>"));
        QPDFObjectHandle perms = QPDFObjectHandle::newDictionary();
        perms.replaceKey("/DocMDP", certification);
        source.getRoot().replaceKey("/Perms", perms);
        QPDFWriter w(source, to.constData());
        w.write();
        document = path("certified.pdf");
    }
    if (kind.hugeArray) {
        const QByteArray from = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        const long long number = source.getTrailer().getKey("/Size").getIntValue();
        QFile f(document);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray pdf = f.readAll();
        f.close();
        const qsizetype previous = pdf.mid(pdf.lastIndexOf("startxref") + 9).trimmed().split('\n')[0].toLongLong();
        const qsizetype at = pdf.size();
        pdf += QByteArray::number(number) + " 0 obj\n" + hugeArray(kind.hugeArray) + "\nendobj\n";
        const qsizetype xref = pdf.size();
        pdf += "xref\n" + QByteArray::number(number) + " 1\n" +
               QByteArray::number(at).rightJustified(10, '0') + " 00000 n \ntrailer\n<< /Size " +
               QByteArray::number(number + 1) + " /Root " +
               QByteArray::fromStdString(source.getTrailer().getKey("/Root").unparse()) +
               " /Prev " + QByteArray::number(previous) + " >>\nstartxref\n" +
               QByteArray::number(xref) + "\n%%EOF\n";
        document = path("huge.pdf");
        QFile huge(document);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        huge.write(pdf);
    }
    const QString nss = kind.signatures ? signingStore() : QString();
    for (int i = 0; i < kind.signatures; ++i) {
        const QString next = path("signed-by-other-%1.pdf").arg(i);
        ASSERT_EQ(status(QStringLiteral("pdfsig"),
                         {QStringLiteral("-nssdir"), nss, QStringLiteral("-add-signature"),
                          QStringLiteral("-nick"), QStringLiteral("other"), document, next}),
                  0);
        document = next;
    }
    if (kind.signatures) {
        ASSERT_EQ(validSignatures(nss, document), kind.signatures);
    }
    QFile in(document);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray before = in.readAll();

    QStringList args{QStringLiteral("--style"), QStringLiteral("篆印体"), QStringLiteral("--stamp"),
                     document, QStringLiteral("--at"), QStringLiteral("20,30"),
                     QStringLiteral("-o"), path("ours.pdf")};
    if (kind.ours) {
        QFile password(path("password"));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("pw\n");
        password.close();
        args << QStringLiteral("--sign-with") << ownIdentity(path("me.p12"))
             << QStringLiteral("--password-file") << path("password");
    }
    const Outcome r = render(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // Signed again with our certificate, over our own signature.
    for (int i = 1; i < kind.ours; ++i) {
        ASSERT_TRUE(QFile::rename(path("ours.pdf"), path("ours-before.pdf")));
        args[3] = path("ours-before.pdf");
        args[5] = QStringLiteral("20,%1").arg(30 + 40 * i);
        const Outcome again = render(args);
        ASSERT_EQ(again.code, 0) << again.err.toStdString();
    }
    QFile out(path("ours.pdf"));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_TRUE(out.readAll().startsWith(before));
    EXPECT_TRUE(run(QStringLiteral("qpdf"), {QStringLiteral("--check"), path("ours.pdf")})
                    .contains(QStringLiteral("No syntax or stream encoding errors")));
    if (kind.signatures || kind.ours) {
        const QString store = kind.signatures ? nss : QStringLiteral("sql:") + path("nss");
        if (!kind.signatures) {
            QDir().mkpath(path("nss"));
            ASSERT_EQ(status(QStringLiteral("certutil"), {QStringLiteral("-N"), QStringLiteral("-d"),
                                                          store, QStringLiteral("--empty-password")}),
                      0);
        }
        EXPECT_EQ(validSignatures(store, path("ours.pdf")), kind.signatures + kind.ours);
        if (kind.ours) {
            const QString info = run(QStringLiteral("pdfsig"), {QStringLiteral("-nssdir"), store,
                                                                 path("ours.pdf")});
            EXPECT_TRUE(info.contains(QStringLiteral("ETSI.CAdES.detached"))) << info.toStdString();
            EXPECT_TRUE(info.contains(QStringLiteral("Total document signed")));
        }
    }
    const QRect ink = inkBox(pageImage(path("ours.pdf"), 1, path("p")), sealRed);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.left() / 10.0, 20, 0.5);
    EXPECT_NEAR(ink.top() / 10.0, 30, 0.5);
    EXPECT_EQ(pageImage(path("ours.pdf"), 2, path("s")), pageImage(document, 2, path("o")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppendedStamp,
    testing::Values(Kind{"CrossReferenceTable", ""},
                    Kind{"ObjectStreams", "--object-streams=generate"},
                    Kind{"Linearized", "--linearize"},
                    Kind{"SignedTwice", "", 2},
                    Kind{"ObjectStreamsSignedTwice", "--object-streams=generate", 2},
                    Kind{"CertifiedAnnotationsAllowed", "", 0, "3"},
                    Kind{"OurCertificateTwice", "", 0, nullptr, 2},
                    Kind{"OurCertificateAfterTwoOthers", "--object-streams=generate", 2, nullptr, 1},
                    Kind{"CertifiedFormsOnlyTakesOurCertificate", "", 0, "2", 1},
                    // An empty user password ("" between the two spaces): AES-128 and AES-256.
                    Kind{"EncryptedAes128", "--encrypt  owner 128 --use-aes=y --"},
                    Kind{"EncryptedAes256OurCertificate", "--encrypt  owner 256 --", 0, nullptr, 1},
                    Kind{"AHugeArrayNothingReads", "", 0, nullptr, 0, 2'000'000},
                    Kind{"AHugeArrayNothingReadsOurCertificate", "", 0, nullptr, 1, 2'000'000}),
    [](const auto& info) { return std::string(info.param.name); });

// A page list puts the same signature at the same place on each page it names and nowhere
// else; a seal across the pages puts one slice on each, at its right edge, appended or
// flattened.
struct Pages
{
    const char* list;
    std::vector<int> signedPages; // of five
    bool across = false;
    bool flatten = false;
};

class StampOnPages : public Pdf, public testing::WithParamInterface<Pages>
{
};

TEST_P(StampOnPages, SignsTheNamedPagesOnly)
{
    const Pages& c = GetParam();
    const QString original = contract(5);
    QStringList args{QStringLiteral("--style"), QStringLiteral("篆印体"), QStringLiteral("--stamp"),
                     original, QStringLiteral("--at"), QStringLiteral("20,100"),
                     QStringLiteral("--width"), QStringLiteral("50"), QStringLiteral("-o"),
                     path("signed.pdf")};
    if (*c.list)
        args << QStringLiteral("--page") << QString::fromUtf8(c.list);
    if (c.across)
        args << QStringLiteral("--across-pages");
    if (c.flatten)
        args << QStringLiteral("--flatten");
    const Outcome r = render(args << QStringLiteral("--report"));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    // The report says which pages were signed, and how.
    QStringList reported;
    for (const QJsonValue page : QJsonDocument::fromJson(r.out.toUtf8())["pages"].toArray())
        reported << QStringLiteral("%1 %2").arg(page["page"].toInt()).arg(page["how"].toString());
    QStringList expected;
    for (const int page : c.signedPages)
        expected << QStringLiteral("%1 %2").arg(page).arg(c.flatten ? "content" : "annotation");
    EXPECT_EQ(reported, expected);
    double sliced = 0;
    for (int page = 1; page <= 5; ++page) {
        SCOPED_TRACE(page);
        const QImage image = pageImage(path("signed.pdf"), page, path("p"));
        const QRect ink = inkBox(image, sealRed);
        if (std::find(c.signedPages.begin(), c.signedPages.end(), page) == c.signedPages.end()) {
            EXPECT_TRUE(ink.isEmpty());
            continue;
        }
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(ink.top() / 10.0, 100, 0.5);
        if (c.across) {
            // Its slice, one of as many as there are pages, against the page's right edge.
            EXPECT_NEAR((ink.right() + 1) / 10.0, image.width() / 10.0, 0.5);
            EXPECT_LE(ink.width() / 10.0, 50.0 / double(c.signedPages.size()) + 0.5);
            sliced += ink.width() / 10.0;
        } else {
            EXPECT_NEAR(ink.left() / 10.0, 20, 0.5);
            EXPECT_NEAR(ink.width() / 10.0, 50, 0.5);
        }
    }
    if (c.across) {
        EXPECT_NEAR(sliced, 50, 1.0) << "the slices make the whole seal";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StampOnPages,
    testing::Values(Pages{"", {1}}, Pages{"1,3-4,last", {1, 3, 4, 5}}, Pages{"all", {1, 2, 3, 4, 5}},
                    Pages{"2-2,2", {2}}, Pages{"", {1, 2, 3, 4, 5}, true},
                    Pages{"", {1, 2, 3, 4, 5}, true, true}, Pages{"2-4", {2, 3, 4}, true}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// A page list read against a document: each page once, in the order first named; a page the
// document lacks said with the document's page count, what is no list said as such.
TEST(PageList, ReadsListsRangesLastAndAll)
{
    using K = SignError::Kind;
    const struct
    {
        const char* list;
        int count;              // the document's pages
        std::vector<int> pages; // empty: refused
        K refused = K::NoSuchPage;
        int page = 0; // the page said to be missing
    } cases[] = {{"3", 5, {3}},
                 {"1,3-4,last", 5, {1, 3, 4, 5}},
                 {"all", 5, {1, 2, 3, 4, 5}},
                 {"4,2,4-5", 5, {4, 2, 5}},
                 {"last-last", 5, {5}},
                 {"2-9", 5, {}, K::NoSuchPage, 9},
                 {"6", 5, {}, K::NoSuchPage, 6},
                 // past the end with "last", which comes before the first page named
                 {"5-last", 3, {}, K::NoSuchPage, 5},
                 {"2-last", 1, {}, K::NoSuchPage, 2},
                 {"last", 0, {}, K::NoPages},
                 {"all", 0, {}, K::NoPages},
                 {"0", 5, {}, K::BadPageList},
                 {"5-3", 5, {}, K::BadPageList},
                 {"last-2", 5, {}, K::BadPageList},
                 {"two", 5, {}, K::BadPageList},
                 {"1,,2", 5, {}, K::BadPageList}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " of " + std::to_string(c.count));
        const auto read = pageList(QString::fromUtf8(c.list), c.count);
        if (!c.pages.empty()) {
            EXPECT_EQ(std::get<std::vector<int>>(read), c.pages);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<SignError>(read));
        EXPECT_EQ(std::get<SignError>(read).kind, c.refused);
        if (c.refused == K::NoSuchPage) {
            EXPECT_EQ(std::get<SignError>(read).page, c.page);
            EXPECT_EQ(std::get<SignError>(read).count, c.count);
        }
    }
}

struct BadDocument
{
    const char* name;
    int exitCode;
    const char* says;
};

class StampRefuses : public Pdf, public testing::WithParamInterface<BadDocument>
{
};

TEST_P(StampRefuses, WithOneLineAndNoOutputFile)
{
    const QString good = contract(2);
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const std::string name = GetParam().name;
    // C++17 here, for qpdf's headers under clang: no std::string::starts_with.
    const auto named = [&name](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    QString document = path("document.pdf");
    QStringList extra;
    auto write = [&](const QByteArray& data) {
        QFile f(document);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    if (name == "Missing")
        document = path("nowhere.pdf");
    else if (name == "NotAPdf")
        write("合同 in plain text, not a PDF\n");
    else if (name == "Truncated")
        write(bytes.left(bytes.size() * 2 / 3));
    else if (name == "BrokenCrossReference") {
        QByteArray broken = bytes;
        const qsizetype xref = broken.lastIndexOf("xref");
        broken.replace(xref, 4, "xxxx");
        write(broken);
    } else if (named("Encrypted")) {
        // qpdf keeps the names it is given: they must outlive it.
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFWriter w(source, to.constData());
        if (name == "EncryptedWithRc4")
            w.setR3EncryptionParametersInsecure("", "owner", true, true, true, true, true, true,
                                                qpdf_r3p_full);
        else // with a password, or without one and no annotations allowed
            w.setR6EncryptionParameters(name == "Encrypted" ? "secret" : "", "owner", true, true,
                                        true, name == "Encrypted", true, true, qpdf_r3p_full, true);
        w.write();
    } else if (name == "DeepPageTree") {
        // 50,000 levels of page tree above one page.
        constexpr int Levels = 50000;
        std::vector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
        for (int level = 0; level < Levels; ++level)
            objects.push_back("<< /Type /Pages /Kids [" + QByteArray::number(level + 3) +
                              " 0 R] /Count 1 >>");
        objects.push_back("<< /Type /Page /Parent " + QByteArray::number(Levels + 1) +
                          " 0 R /MediaBox [0 0 200 200] >>");
        write(pdfOf(objects));
    } else if (name == "HugeAnnotationList") {
        write(pageWithHugeAnnotationList());
    } else if (name == "NoPageArea") {
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFObjectHandle page = source.getAllPages().at(0);
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 0 842]"));
        QPDFWriter w(source, to.constData());
        w.write();
    } else if (named("Certified")) {
        // Certified by its author: what may change after is the DocMDP permission.
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFObjectHandle certification = source.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
            "/ByteRange [0 100 200 300] /Contents <00> /Reference [ << /Type /SigRef "
            "/TransformMethod /DocMDP /TransformParams << /Type /TransformParams /V /1.2 /P " +
            std::string(name == "CertifiedNoChanges" ? "1" : "2") + " >> >> ] >>"));
        // Form filling and signing allowed: a certificate signature would be, not a stamp on
        // two pages.
        if (name == "CertifiedFormsOnlyTwoPages")
            extra << QStringLiteral("--page") << QStringLiteral("1-2");
        QPDFObjectHandle perms = QPDFObjectHandle::newDictionary();
        perms.replaceKey("/DocMDP", certification);
        source.getRoot().replaceKey("/Perms", perms);
        QPDFWriter w(source, to.constData());
        w.write();
    } else if (name == "UnreadablePageContent") {
        // A content stream said to be compressed that is not: no reader can read it through.
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFObjectHandle more = QPDFObjectHandle::newStream(&source, "not deflated");
        more.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
        QPDFPageObjectHelper(source.getAllPages().at(0)).addPageContents(more, false);
        QPDFWriter w(source, to.constData());
        w.setDecodeLevel(qpdf_dl_none);
        w.write();
        extra << QStringLiteral("--flatten");
    } else if (named("DigitallySigned")) {
        // A signature field as signing tools write it: its value signs byte ranges of the file,
        // as an object of its own or written inside the field.
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFObjectHandle value = QPDFObjectHandle::parse(
            "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
            "/ByteRange [0 100 200 300] /Contents <00> >>");
        if (name == "DigitallySigned")
            value = source.makeIndirectObject(value);
        extra << QStringLiteral("--flatten");
        QPDFObjectHandle field = source.makeIndirectObject(
            QPDFObjectHandle::parse("<< /FT /Sig /T (Signature1) >>"));
        field.replaceKey("/V", value);
        QPDFObjectHandle form = QPDFObjectHandle::newDictionary();
        form.replaceKey("/Fields", QPDFObjectHandle::newArray({field}));
        source.getRoot().replaceKey("/AcroForm", form);
        QPDFWriter w(source, to.constData());
        w.write();
    } else if (name == "NameTooLong") {
        document = good;
        extra << QStringLiteral("--cn") << QString(1001, u'王');
    } else if (named("Blank")) {
        document = good;
        const std::map<std::string, QString> blanks{{"BlankSpace", QStringLiteral(" ")},
                                                    {"BlankIdeographicSpace", QStringLiteral("\u3000")},
                                                    {"BlankNoBreakSpace", QStringLiteral("\u00A0")},
                                                    {"BlankCombiningMark", QStringLiteral("\u0301")},
                                                    {"BlankZeroWidthSpace", QStringLiteral("\u200B")}};
        extra << QStringLiteral("--cn") << blanks.at(name);
    } else if (name == "OffThePage") {
        document = good;
        extra << QStringLiteral("--at") << QStringLiteral("300,20");
    } else if (name == "WrongPassword" || name == "NoPrivateKey" ||
               name == "ExpiredCertificate") {
        document = good;
        QFile password(path("password"));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write(name == "WrongPassword" ? "not it\n" : "pw\n");
        password.close();
        extra << QStringLiteral("--sign-with")
              << ownIdentity(path("me.p12"), name == "ExpiredCertificate" ? -3 : -1,
                             name == "ExpiredCertificate" ? -1 : 30, name != "NoPrivateKey")
              << QStringLiteral("--password-file") << path("password");
    } else if (name == "PagePastTheEnd") {
        document = good;
        extra << QStringLiteral("--page") << QStringLiteral("3");
    } else if (name == "PageZero") {
        document = good;
        extra << QStringLiteral("--page") << QStringLiteral("0");
    } else if (name == "PastTheEndToLast") {
        document = good;
        extra << QStringLiteral("--page") << QStringLiteral("5-last");
    } else if (name == "Rc4EncryptedFlattened") {
        const QByteArray from = good.toLocal8Bit(), to = document.toLocal8Bit();
        QPDF source;
        source.processFile(from.constData());
        QPDFWriter w(source, to.constData());
        w.setR3EncryptionParametersInsecure("", "owner", true, true, true, true, true, true,
                                            qpdf_r3p_full);
        w.write();
        extra << QStringLiteral("--flatten");
    } else if (name == "ContentCompressedTwice") {
        // 512 MB of page content once uncompressed, in a file of a few kilobytes.
        const QByteArray content = deflated(deflated(QByteArray(), 512 << 20));
        write(pdfOf({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
                     "<< /Length " + QByteArray::number(content.size()) +
                         " /Filter [/FlateDecode /FlateDecode] >>\nstream\n" + content +
                         "\nendstream"}));
        extra << QStringLiteral("--flatten");
    } else if (name == "ObjectNumbersPastAnyReader") {
        QByteArray huge = bytes;
        huge.replace(huge.lastIndexOf("/Size "), 6, "/Size 2147483647 /Was ");
        write(huge);
    } else if (name == "BytesBeforeTheHeaderCertificate") {
        write("PK\x03\x04 not part of the document\n" + bytes);
        QFile password(path("password"));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("pw\n");
        password.close();
        extra << QStringLiteral("--sign-with") << ownIdentity(path("me.p12"))
              << QStringLiteral("--password-file") << path("password");
    } else if (name == "CornerOfThePage") {
        document = good;
        extra = {QStringLiteral("--at"), QStringLiteral("210,297")};
    } else if (named("Width")) {
        document = good;
        extra << QStringLiteral("--width")
              << (name == "WidthTenThousandthMm" ? QStringLiteral("0.0001")
                                                 : QStringLiteral("1e-300"));
    } else if (name == "SealAcrossAThousandPages") {
        std::vector<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>"};
        QByteArray kids;
        for (int page = 0; page < 1000; ++page)
            kids += QByteArray::number(page + 3) + " 0 R ";
        objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count 1000 >>");
        for (int page = 0; page < 1000; ++page)
            objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
        write(pdfOf(objects));
        extra << QStringLiteral("--style") << QStringLiteral("篆印体")
              << QStringLiteral("--across-pages");
    } else if (name == "ControlCharactersInTheName") {
        document = path("a\nsigned: ok.pdf");
    } else if (name == "Ed25519Key") {
        document = good;
        ASSERT_EQ(status(QStringLiteral("openssl"),
                         {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                          QStringLiteral("ed25519"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                          path("ed.key"), QStringLiteral("-out"), path("ed.pem"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=Ed")}),
                  0);
        ASSERT_EQ(status(QStringLiteral("openssl"),
                         {QStringLiteral("pkcs12"), QStringLiteral("-export"), QStringLiteral("-inkey"),
                          path("ed.key"), QStringLiteral("-in"), path("ed.pem"), QStringLiteral("-out"),
                          path("ed.p12"), QStringLiteral("-passout"), QStringLiteral("pass:pw")}),
                  0);
        QFile password(path("password"));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("pw\n");
        password.close();
        extra << QStringLiteral("--sign-with") << path("ed.p12") << QStringLiteral("--password-file")
              << path("password");
    }
    const Outcome r =
        render(QStringList{QStringLiteral("--stamp"), document, QStringLiteral("--at"),
                           QStringLiteral("10,10"), QStringLiteral("-o"), path("signed.pdf")} +
               extra);
    EXPECT_EQ(r.code, GetParam().exitCode);
    EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().says))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("signed.pdf")));
    if (named("DigitallySigned")) {
        // Said so, it is signed all the same.
        const Outcome again = render({QStringLiteral("--stamp"), document, QStringLiteral("--at"),
                                      QStringLiteral("10,10"), QStringLiteral("--flatten"),
                                      QStringLiteral("--break-signatures"), QStringLiteral("-o"),
                                      path("signed.pdf")});
        EXPECT_EQ(again.code, 0) << again.err.toStdString();
        EXPECT_TRUE(QFile::exists(path("signed.pdf")));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StampRefuses,
                         testing::Values(BadDocument{"Missing", 1, "cannot read"},
                                         BadDocument{"NotAPdf", 1, "not a PDF"},
                                         BadDocument{"Truncated", 1, "damaged"},
                                         BadDocument{"BrokenCrossReference", 1, "damaged"},
                                         BadDocument{"Encrypted", 1, "encrypted"},
                                         BadDocument{"EncryptedWithRc4", 1, "RC4"},
                                         BadDocument{"EncryptedNoAnnotations", 1, "permissions do not allow"},
                                         BadDocument{"DeepPageTree", 1, "page tree deeper"},
                                         BadDocument{"HugeAnnotationList", 1, "too large to sign"},
                                         BadDocument{"NoPageArea", 1, "no area"},
                                         BadDocument{"DigitallySigned", 1, "--break-signatures"},
                                         BadDocument{"DigitallySignedInline", 1, "--break-signatures"},
                                         BadDocument{"UnreadablePageContent", 1, "content cannot be read"},
                                         BadDocument{"CertifiedNoChanges", 1, "allow no changes"},
                                         BadDocument{"WrongPassword", 1, "password does not open"},
                                         BadDocument{"NoPrivateKey", 1, "no private key"},
                                         BadDocument{"ExpiredCertificate", 1, "expired on"},
                                         BadDocument{"CertifiedFormsOnly", 1, "only form filling"},
                                         BadDocument{"CertifiedFormsOnlyTwoPages", 1, "only form filling"},
                                         BadDocument{"OffThePage", 1, "fall off page 1"},
                                         BadDocument{"NameTooLong", 1, "too long"},
                                         BadDocument{"BlankSpace", 1, "draws no ink"},
                                         BadDocument{"BlankIdeographicSpace", 1, "draws no ink"},
                                         BadDocument{"BlankNoBreakSpace", 1, "draws no ink"},
                                         BadDocument{"BlankCombiningMark", 1, "draws no ink"},
                                         BadDocument{"BlankZeroWidthSpace", 1, "draws no ink"},
                                         BadDocument{"PagePastTheEnd", 2, "no page 3"},
                                         BadDocument{"PageZero", 2, "page \"0\""},
                                         BadDocument{"PastTheEndToLast", 2, "has 2 page(s); there is no page 5"},
                                         BadDocument{"Rc4EncryptedFlattened", 1, "RC4"},
                                         BadDocument{"ContentCompressedTwice", 1, "256 MB of content once uncompressed"},
                                         BadDocument{"ObjectNumbersPastAnyReader", 1, "past the 8,388,607"},
                                         BadDocument{"BytesBeforeTheHeaderCertificate", 1, "bytes before its PDF header"},
                                         BadDocument{"CornerOfThePage", 1, "less than 1 mm of it would show"},
                                         BadDocument{"WidthTenThousandthMm", 1, "at least 1 mm"},
                                         BadDocument{"WidthOfNearlyNothing", 1, "at least 1 mm"},
                                         BadDocument{"SealAcrossAThousandPages", 1, "it can go across at most"},
                                         BadDocument{"ControlCharactersInTheName", 1, "a\\nsigned: ok.pdf"},
                                         BadDocument{"Ed25519Key", 1, "Ed25519 key"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
