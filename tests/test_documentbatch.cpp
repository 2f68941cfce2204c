// Signing documents in batches: a list of rows or a folder, the key opened once, a result a
// document, carrying on past a bad one; judged by pdfsig and by the files left behind.
#include "pdftools.h"
#include "plainpdf.h"
#include "rendercli.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

class DocumentBatch : public testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QString path(const char* name) const { return path(QString::fromUtf8(name)); }
    QString identity()
    {
        writtenFile(dir.path(), "password", "pw\n");
        return ownIdentity(path("me.p12"));
    }
    QStringList signingWith(const QString& p12) const
    {
        return {QStringLiteral("--sign-with"), p12, QStringLiteral("--password-file"), path("password")};
    }
    // The report's lines for the rows, by row.
    static std::map<int, QJsonObject> rowsOf(const Outcome& r)
    {
        std::map<int, QJsonObject> rows;
        for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            if (o.contains(QStringLiteral("row")))
                rows[o[QStringLiteral("row")].toInt()] = o;
        }
        return rows;
    }
};

// Twenty contracts of which three cannot be signed (damaged, locked by a password, their author
// allowing no new field): seventeen signed copies pdfsig verifies, three rows said with their
// kind and no file left for them, and the exit status says some failed.
TEST_F(DocumentBatch, CarriesOnPastBadDocumentsAndSaysWhichFailed)
{
    QDir().mkpath(path("in"));
    for (int i = 0; i < 20; ++i)
        writtenFile(path("in"), QStringLiteral("c%1.pdf").arg(i, 2, 10, QLatin1Char('0')).toUtf8().constData(),
                    twoPages());
    writtenFile(path("in"), "c05.pdf", "not a document");
    ASSERT_EQ(status(QStringLiteral("qpdf"), {"--encrypt", "user", "owner", "256", "--", path("in/c00.pdf"),
                                              path("in/c07.pdf")}),
              0);
    ASSERT_EQ(status(QStringLiteral("qpdf"), {"--encrypt", "", "owner", "256", "--modify=none", "--",
                                              path("in/c11.pdf"), "--replace-input"}),
              0);
    const Outcome r = render(QStringList{"--stamp", path("in"), "--at", "20,30", "--report", "-o", path("out")} +
                             signingWith(identity()));
    EXPECT_EQ(r.code, 8) << r.err.toStdString();
    const auto rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 20u) << r.out.toStdString();
    const std::map<int, QString> failed{{6, "NotPdf"}, {8, "NeedsPassword"}, {12, "NotPermitted"}};
    for (const auto& [row, line] : rows) {
        const QString output = line[QStringLiteral("output")].toString();
        const auto bad = failed.find(row);
        SCOPED_TRACE(output.toStdString());
        EXPECT_EQ(line[QStringLiteral("signed")].toBool(), bad == failed.end());
        EXPECT_EQ(QFile::exists(output), bad == failed.end());
        if (bad != failed.end()) {
            EXPECT_EQ(line[QStringLiteral("error")][QStringLiteral("kind")].toString(), bad->second);
            continue;
        }
        EXPECT_EQ(line[QStringLiteral("level")].toString(), QStringLiteral("B-B"));
        EXPECT_TRUE(run(QStringLiteral("pdfsig"), {output}).contains(QStringLiteral("Signature is Valid")));
    }
    EXPECT_TRUE(r.err.contains(QStringLiteral("3 of 20 documents failed"))) << r.err.toStdString();
}

// Rows that would write over each other, or over what they sign, are refused before anything
// is written; the others are signed. Asked for, a document is signed in place.
TEST_F(DocumentBatch, OutputsNeverOverwriteEachOtherOrTheirInputs)
{
    writtenFile(dir.path(), "a.pdf", twoPages());
    writtenFile(dir.path(), "b.pdf", twoPages());
    writtenFile(dir.path(), "list.csv", "a.pdf,x.pdf\nb.pdf,x.pdf\nb.pdf,../" +
                                            QFileInfo(path("b.pdf")).fileName().toUtf8() + "\n");
    QDir().mkpath(path("out"));
    const QStringList args{"--stamp-batch", path("list.csv"), "--at", "20,30", "--report", "-o", path("out")};
    const Outcome r = render(args);
    EXPECT_EQ(r.code, 8) << r.err.toStdString();
    const auto rows = rowsOf(r);
    EXPECT_TRUE(rows.at(1)[QStringLiteral("signed")].toBool());
    EXPECT_EQ(rows.at(2)[QStringLiteral("error")][QStringLiteral("words")].toString(),
              QStringLiteral("its output %1 is row 1's too").arg(path("out/x.pdf")));
    EXPECT_TRUE(rows.at(3)[QStringLiteral("error")][QStringLiteral("words")].toString().contains(
        QStringLiteral("its output is its input")));
    QFile b(path("b.pdf"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), twoPages()) << "not written over";
    b.close();
    writtenFile(dir.path(), "list.csv", "b.pdf,../b.pdf\n");
    EXPECT_EQ(render(args + QStringList{"--overwrite-inputs"}).code, 0);
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(b.readAll().startsWith(twoPages())) << "signed in place, appended to";
}

// Three shards of one list sign exactly its rows between them, each once.
TEST_F(DocumentBatch, ShardsSignTheWholeBatchBetweenThem)
{
    QByteArray list;
    for (int i = 0; i < 10; ++i) {
        writtenFile(dir.path(), QStringLiteral("d%1.pdf").arg(i).toUtf8().constData(), twoPages());
        list += QStringLiteral("d%1.pdf,s%1.pdf,1,\"10,%2\"\n").arg(i).arg(20 + i).toUtf8();
    }
    writtenFile(dir.path(), "list.csv", list);
    std::multiset<QString> made;
    for (int k = 1; k <= 3; ++k) {
        const QString out = path(QStringLiteral("shard%1").arg(k));
        const Outcome r = render({"--stamp-batch", path("list.csv"), "--shard", QStringLiteral("%1/3").arg(k),
                                  "-o", out});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        for (const QString& name : QDir(out).entryList(QDir::Files))
            made.insert(name);
    }
    std::multiset<QString> all;
    for (int i = 0; i < 10; ++i)
        all.insert(QStringLiteral("s%1.pdf").arg(i));
    EXPECT_EQ(made, all);
}

// A token signs a whole batch with its PIN given once: it is logged into once, as the PKCS#11
// calls a spy module between them show.
TEST_F(DocumentBatch, ATokenIsLoggedIntoOnceForTheBatch)
{
    const TokenEnvironment environment;
    ASSERT_TRUE(madeTokenAndDatabase(dir.path()));
    QDir().mkpath(path("in"));
    for (int i = 0; i < 5; ++i)
        writtenFile(path("in"), QStringLiteral("c%1.pdf").arg(i).toUtf8().constData(), twoPages());
    writtenFile(dir.path(), "pin", "1234\n");
    qputenv("PKCS11SPY", "/usr/lib/softhsm/libsofthsm2.so");
    qputenv("PKCS11SPY_OUTPUT", path("spy.log").toUtf8());
    const Outcome r = render({"--stamp", path("in"), "--at", "20,30", "--sign-with",
                              "pkcs11:token=sorvex;object=me?module-path=/usr/lib/x86_64-linux-gnu/pkcs11-spy.so",
                              "--password-file", path("pin"), "-o", path("out")});
    qunsetenv("PKCS11SPY");
    qunsetenv("PKCS11SPY_OUTPUT");
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(path("out")).entryList(QDir::Files).size(), 5);
    QFile spy(path("spy.log"));
    ASSERT_TRUE(spy.open(QIODevice::ReadOnly));
    EXPECT_EQ(spy.readAll().count("C_Login"), 1);
    EXPECT_TRUE(run(QStringLiteral("pdfsig"), {path("out/c3.pdf")}).contains(QStringLiteral("Signature is Valid")));
}

} // namespace

namespace {

// A key that asks for its PIN at every signature, as qualified signature cards do: said before
// the batch starts, and given at each signature, not refused without a word.
TEST_F(DocumentBatch, AKeyThatAsksForItsPinEachTimeIsSaidAndAsked)
{
    const TokenEnvironment environment;
    ASSERT_TRUE(madeTokenAndDatabase(dir.path()));
    for (const char* type : {"privkey", "cert"})
        ASSERT_EQ(status(QStringLiteral("pkcs11-tool"),
                         {"--module", "/usr/lib/softhsm/libsofthsm2.so", "--token-label", "sorvex", "--login",
                          "--pin", "1234", "--write-object", path(std::string(type) == "cert" ? "cert.der" : "key.der"),
                          "--type", type, "--id", "05", "--label", "each", "--always-auth"}),
                  0);
    QDir().mkpath(path("in"));
    for (int i = 0; i < 3; ++i)
        writtenFile(path("in"), QStringLiteral("c%1.pdf").arg(i).toUtf8().constData(), twoPages());
    writtenFile(dir.path(), "pin", "1234\n");
    const Outcome r = render({"--stamp", path("in"), "--at", "20,30", "--sign-with",
                              "pkcs11:token=sorvex;object=each?module-path=/usr/lib/softhsm/libsofthsm2.so",
                              "--password-file", path("pin"), "-o", path("out")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("asks for its PIN at every signature"))) << r.err.toStdString();
    EXPECT_EQ(QDir(path("out")).entryList(QDir::Files).size(), 3);
}

} // namespace
