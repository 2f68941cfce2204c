// What one drag move costs: a full DrawSignature with the kit's fonts and backgrounds.
//
//   build/bench/bench-redraw [--benchmark_filter=...]
//
// Three paths per case: "ours" (registrations kept alive, background kept decoded while its
// file is unchanged), "uncached" (every font registered and removed around each use, the
// background decoded from its file on every drawing) and "floor" (fonts registered once, no
// registration calls at all: the drawing alone). Prints median and p99 per case and the ratio
// uncached / ours.
#include "app/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "render/imagesurface.h"
#include "render/renderer.h"

#include <QFile>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

namespace {

QString kitDir()
{
    return QStringLiteral(SORVEX_KIT_DIR "/");
}

// Registers each file once and never removes it: the cost of drawing alone.
class PreregisteredFonts : public FontTable
{
public:
    void AddFont(const QString& path) override
    {
        if (!table_.familyFor(path, QString()).isEmpty())
            return;
        table_.AddFont(path);
    }
    void RemoveFont(const QString&) override {}
    QString familyFor(const QString& path, const QString& face) const override
    {
        return table_.familyFor(path, face);
    }

private:
    AppFontTable table_{1000};
};

struct Case
{
    const char* style;
    const char* cn;
    const char* size;
    const char* background; // display name
};

const Case cases[] = {
    {"公文签", "王晓明", "72", "宣纸"},          {"公文签", "王晓明", "72", "米字格"},
    {"公文签", "王晓明", "72", "红色贺卡"},      {"公文签", "王晓明", "190", "宣纸"},
    {"篆印体-阴文", "王晓明", "72", "宣纸"},     {"篆印体-阴文", "王晓明", "72", "米字格"},
    {"篆印体-阴文", "王晓明", "72", "红色贺卡"}, {"篆印体-阴文", "王晓明", "190", "宣纸"},
    {"艺术签", "欧阳娜娜", "72", "宣纸"},        {"艺术签", "欧阳娜娜", "72", "米字格"},
    {"艺术签", "欧阳娜娜", "72", "红色贺卡"},    {"艺术签", "欧阳娜娜", "190", "宣纸"},
    {"英文签-流畅", "王晓明", "72", "宣纸"},     {"英文签-流畅", "王晓明", "72", "米字格"},
    {"英文签-流畅", "王晓明", "72", "红色贺卡"}, {"英文签-流畅", "王晓明", "190", "宣纸"},
};

enum class Path { Ours, Uncached, Floor };
const char* pathName(Path p)
{
    return p == Path::Ours ? "ours" : p == Path::Uncached ? "uncached" : "floor";
}

struct Figures
{
    double median = 0, p99 = 0;
};
std::map<std::string, std::map<Path, Figures>> results;

const ProgramValues& values()
{
    static const ProgramValues v = [] {
        ProgramValues p;
        p.AppPath = kitDir();
        QFile f(kitDir() + QStringLiteral("data/fuxing.dat"));
        f.open(QIODevice::ReadOnly);
        p.CompoundSurnames = decodeGbk(f.readAll()).chopped(2);
        return p;
    }();
    return v;
}

const Catalogue& catalogue()
{
    static const Catalogue c = loadCatalogue(kitDir());
    return c;
}

void redraw(benchmark::State& state, const Case& c, Path path)
{
    std::unique_ptr<FontTable> fonts;
    if (path == Path::Floor)
        fonts = std::make_unique<PreregisteredFonts>();
    else
        fonts = std::make_unique<AppFontTable>(path == Path::Ours ? 8 : 0);
    ImageSurface surface(1.0, path != Path::Uncached);
    Mover mover;
    DrawInputs in;
    in.txtCN = QString::fromUtf8(c.cn);
    in.txtEN = QStringLiteral("Xiaoming");
    in.styleIndex = int(catalogue().indexOfStyle(QString::fromUtf8(c.style)));
    in.styleCurrentText = QString::fromUtf8(c.style);
    in.backgroundPath = catalogue().ImagePaths.value(
        catalogue().backgroundNames.indexOf(QString::fromUtf8(c.background)));
    in.sizeText = QString::fromUtf8(c.size);
    RenderContext ctx{values(), catalogue(), *fonts, surface, mover, {}};
    if (in.styleIndex < 0 || in.backgroundPath.isEmpty()) {
        state.SkipWithError("the kit lacks this style or background");
        return;
    }
    DrawSignature(ctx, in, 600, 400); // warm up: the first drawing loads everything once

    std::vector<double> ms;
    int step = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        // A drag move: a new position each time.
        DrawSignature(ctx, in, 600 + (step % 40) * 15, 400 + (step % 25) * 15);
        benchmark::DoNotOptimize(surface.PersistentImage().constBits());
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        ++step;
    }
    std::sort(ms.begin(), ms.end());
    Figures f{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
    state.counters["median_ms"] = f.median;
    state.counters["p99_ms"] = f.p99;
    results[std::string(c.style) + " " + c.size + "pt " + c.background][path] = f;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const Case& c : cases)
        for (Path p : {Path::Ours, Path::Uncached, Path::Floor}) {
            const std::string name =
                std::string(pathName(p)) + "/" + c.style + "/" + c.size + "pt/" + c.background;
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&c, p](benchmark::State& s) { redraw(s, c, p); })
                ->Iterations(p == Path::Uncached ? 200 : 1000)
                ->Unit(benchmark::kMicrosecond);
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-34s %10s %10s %10s %10s %10s %8s\n", "case", "ours med", "ours p99",
                "uncached med", "uncached p99", "floor med", "ratio");
    for (const auto& [name, byPath] : results) {
        auto get = [&](Path p) {
            return byPath.count(p) ? byPath.at(p) : Figures{};
        };
        const Figures o = get(Path::Ours), l = get(Path::Uncached), f = get(Path::Floor);
        std::printf("%-34s %9.3fms %9.3fms %10.3fms %10.3fms %9.3fms %7.1fx\n", name.c_str(),
                    o.median, o.p99, l.median, l.p99, f.median,
                    o.median > 0 ? l.median / o.median : 0);
    }
    return 0;
}
