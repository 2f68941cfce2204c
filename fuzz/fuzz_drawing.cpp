// A whole drawing through the core library: style kind, size text, position, scale and name
// from the input, with real fonts on a small kit made at start.
//   input: style, scale, x (4 bytes), y (4 bytes), size text up to a NUL, then the name (UTF-16)
#include "base/programvalues.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "fuzz.h"
#include "render/appfaces.h"
#include "render/imagesurface.h"
#include "render/layout.h"
#include "render/names.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

namespace {

struct Kit
{
    QTemporaryDir dir;
    ProgramValues values;
    Catalogue catalogue;
    AppFontTable fonts;
};

Kit* kit = nullptr;

void link(const QString& target, const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::link(target, path);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    kit = new Kit;
    // The kit outlives every run (libFuzzer ends with exit()); its folder must not.
    std::atexit([] { kit->dir.remove(); });
    const QString root = kit->dir.path() + u'/';
    const QString kai =
        QStringLiteral("/usr/share/fonts/truetype/lxgw-wenkai/LXGWWenKai-Regular.ttf");
    const QString latin =
        QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf");
    for (const char* style : {"公文签(Kai)", "篆印体(Kai)", "篆印体-阴文(Kai)"})
        link(kai, root + QStringLiteral("fonts/电脑字/") + QString::fromUtf8(style) +
                      QStringLiteral(".dat"));
    for (int k = 1; k <= 3; ++k) {
        link(kai, root + QStringLiteral("fonts/艺术签/fza%1.dat").arg(k));
        link(latin, root + QStringLiteral("fonts/英文签-试/fzb%1.dat").arg(k));
    }
    QDir().mkpath(root + QStringLiteral("data"));
    QFile list(root + QStringLiteral("data/fuxing.dat"));
    if (list.open(QIODevice::WriteOnly))
        list.write(QByteArray::fromHex("20c5b7d1f42dc5b7aaa1")); // " 欧阳-欧" and its glyph
    list.close();
    kit->values.appPath = root;
    kit->values.compoundSurnames =
        parseCompoundSurnames(textOfFileBytes(QByteArray::fromHex("20c5b7d1f42dc5b7aaa1")));
    kit->catalogue = loadCatalogue(root);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10 || kit->catalogue.styles.isEmpty())
        return 0;
    const Catalogue& c = kit->catalogue;
    SignatureSpec in;
    if (const qsizetype style = data[0] % (c.styles.size() + 1); style > 0) // 0: none chosen
        in.style = c.styles[style - 1];
    const double scale = 1 + data[1] % 3;
    qint32 x, y;
    std::memcpy(&x, data + 2, 4);
    std::memcpy(&y, data + 6, 4);
    const char* rest = reinterpret_cast<const char*>(data + 10);
    const size_t left = size - 10;
    const size_t cut = strnlen(rest, left);
    // A size as a person types it: the drawing takes only what the size box would accept.
    const std::optional<double> points = fontSizeFromText(QString::fromUtf8(rest, qsizetype(cut)));
    if (!points)
        return 0;
    in.points = *points;
    in.position = QPointF(x, y);
    const size_t nameAt = std::min(left, cut + 1);
    in.chineseName = in.latinName = utf16Of(data + 10 + nameAt, left - nameAt);
    in.ink = qRgb(data[1], data[0], data[2]);

    ImageSurface surface(scale);
    AppFaces faces(kit->fonts);
    const Layout layout = layOut(in, faces, kit->values.compoundSurnames);
    drawPicture(surface, QString(), layout);
    FUZZ_CHECK(surface.image().size() ==
               QSize(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale)));
    FUZZ_CHECK(surface.drawnRect().isEmpty() ||
               surface.image().rect().contains(surface.drawnRect()));
    return 0;
}
