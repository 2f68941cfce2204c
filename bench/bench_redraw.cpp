// What one drag move costs: a full drawSignature with the kit's fonts and backgrounds.
//
//   build/bench/bench-redraw [--benchmark_filter=...]
//
// Three paths per case: "ours" (registrations kept alive, background kept decoded while its
// file is unchanged), "uncached" (every font registered and removed around each use, the
// background decoded from its file on every drawing) and "floor" (fonts registered once, no
// registration calls at all: the drawing alone). Prints CPU and wall median and p99 per case
// over every repetition, the ratio uncached / ours, and whether "ours" drew exactly the pixels
// of the uncached path.
#include "base/programvalues.h"
#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "render/appfaces.h"
#include "render/imagesurface.h"
#include "render/names.h"

#include <QFile>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
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
    void addFont(const QString& path) override
    {
        if (!table_.familyFor(path, QString()).isEmpty())
            return;
        table_.addFont(path);
    }
    void removeFont(const QString&) override {}
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
    int characters = 0;     // the name repeated to this many characters; 0: as it is
};

const Case fixedCases[] = {
    {"公文签", "王晓明", "72", "宣纸"},          {"公文签", "王晓明", "72", "米字格"},
    {"公文签", "王晓明", "72", "红色贺卡"},      {"公文签", "王晓明", "190", "宣纸"},
    {"篆印体-阴文", "王晓明", "72", "宣纸"},     {"篆印体-阴文", "王晓明", "72", "米字格"},
    {"篆印体-阴文", "王晓明", "72", "红色贺卡"}, {"篆印体-阴文", "王晓明", "190", "宣纸"},
    {"艺术签", "欧阳娜娜", "72", "宣纸"},        {"艺术签", "欧阳娜娜", "72", "米字格"},
    {"艺术签", "欧阳娜娜", "72", "红色贺卡"},    {"艺术签", "欧阳娜娜", "190", "宣纸"},
    {"英文签-流畅", "王晓明", "72", "宣纸"},     {"英文签-流畅", "王晓明", "72", "米字格"},
    {"英文签-流畅", "王晓明", "72", "红色贺卡"}, {"英文签-流畅", "王晓明", "190", "宣纸"},
};

// Names, sizes and styles at the edges: tiny, huge, long, and every style of the kit.
std::vector<Case> cases()
{
    std::vector<Case> all(std::begin(fixedCases), std::end(fixedCases));
    for (const char* style : {"公文签", "篆印体-阴文", "艺术签", "英文签-流畅"}) {
        const char* cn = QByteArray(style) == "艺术签" ? "欧阳娜娜" : "王晓明";
        for (const char* size : {"8", "1100", "2160"})
            all.push_back({style, cn, size, "宣纸"});
        for (int n : {100, 1000})
            all.push_back({style, cn, "72", "宣纸", n});
    }
    for (const char* style : {"毛体", "楷书签", "行书签", "篆印体", "潇洒签", "英文签-手写",
                              "英文签-花体", "英文签-优雅", "英文签-商务", "英文签-书法"})
        all.push_back({style, "王晓明", "72", "宣纸"});
    return all;
}

std::string caseName(const Case& c)
{
    std::string name = std::string(c.style) + " " + c.size + "pt " + c.background;
    if (c.characters)
        name += " " + std::to_string(c.characters) + " chars";
    return name;
}

enum class Path { Ours, Uncached, Floor };
const char* pathName(Path p)
{
    return p == Path::Ours ? "ours" : p == Path::Uncached ? "uncached" : "floor";
}

struct Figures
{
    double median = 0, p99 = 0;
};

Figures figures(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

// Every repetition's samples, so that the summary speaks for all of them.
struct Samples
{
    std::vector<double> wall, cpu;
};
std::map<std::string, std::map<Path, Samples>> results;
std::map<std::string, bool> samePixels;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

const ProgramValues& values()
{
    static const ProgramValues v = [] {
        ProgramValues p;
        p.appPath = kitDir();
        QFile f(kitDir() + QStringLiteral("data/fuxing.dat"));
        f.open(QIODevice::ReadOnly);
        p.compoundSurnames = parseCompoundSurnames(decodeGbk(f.readAll()).chopped(2));
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
    AppFaces faces(*fonts);
    SignatureSpec in;
    in.chineseName = QString::fromUtf8(c.cn);
    if (c.characters) {
        const QString one = in.chineseName;
        while (in.chineseName.size() < c.characters)
            in.chineseName += one;
        in.chineseName.truncate(c.characters);
    }
    in.latinName = QStringLiteral("Xiaoming");
    const int style = catalogue().indexOfStyle(QString::fromUtf8(c.style));
    if (style >= 0)
        in.style = catalogue().styles[style];
    const QString background =
        catalogue()
            .backgrounds
            .value(catalogue().backgroundNames().indexOf(QString::fromUtf8(c.background)))
            .path;
    in.points = QByteArray(c.size).toDouble();
    if (!in.style || background.isEmpty()) {
        state.SkipWithError("the kit lacks this style or background");
        return;
    }
    // A drag move: laid out at a new position, drawn over the background.
    const auto drawAt = [&](Surface& on, Faces& with, int x, int y) {
        in.position = QPointF(x, y);
        drawPicture(on, background, layOut(in, with, values().compoundSurnames));
    };
    drawAt(surface, faces, 600, 400); // warm up: the first drawing loads everything once

    Samples& samples = results[caseName(c)][path];
    std::vector<double> ms;
    int step = 0;
    for (auto _ : state) {
        const double c0 = cpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        drawAt(surface, faces, 600 + (step % 40) * 15, 400 + (step % 25) * 15);
        benchmark::DoNotOptimize(surface.image().constBits());
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        samples.cpu.push_back(cpuMs() - c0);
        ++step;
    }
    samples.wall.insert(samples.wall.end(), ms.begin(), ms.end());
    const Figures f = figures(ms);
    state.counters["median_ms"] = f.median;
    state.counters["p99_ms"] = f.p99;

    if (path == Path::Ours) {
        // The picture after all those moves against one drawn afresh at the last position.
        AppFontTable uncachedFonts(0);
        AppFaces freshFaces(uncachedFonts);
        ImageSurface uncached(1.0, false);
        drawAt(uncached, freshFaces, 600 + ((step - 1) % 40) * 15, 400 + ((step - 1) % 25) * 15);
        const bool same = uncached.image() == surface.image();
        samePixels[caseName(c)] =
            samePixels.count(caseName(c)) ? samePixels[caseName(c)] && same : same;
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    static const std::vector<Case> all = cases();
    for (const Case& c : all)
        for (Path p : {Path::Ours, Path::Uncached, Path::Floor}) {
            const bool large = c.characters >= 1000 || QByteArray(c.size).toInt() > 1000;
            const std::string name = std::string(pathName(p)) + "/" + caseName(c);
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&c, p](benchmark::State& s) { redraw(s, c, p); })
                ->Iterations(p == Path::Uncached ? (large ? 20 : 200) : 1000)
                ->Unit(benchmark::kMicrosecond);
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nms per drawing, over every repetition\n%-42s | %-27s | %-13s | %6s | %6s "
                "| %s\n",
                "", "ours: cpu   p99  wall   p99", "uncached wall", "floor", "ratio", "pixels");
    for (const auto& [name, byPath] : results) {
        auto get = [&](Path p, bool cpu) {
            if (!byPath.count(p))
                return Figures{};
            return figures(cpu ? byPath.at(p).cpu : byPath.at(p).wall);
        };
        const Figures oc = get(Path::Ours, true), ow = get(Path::Ours, false),
                      u = get(Path::Uncached, false), f = get(Path::Floor, false);
        const std::string label =
            QString::fromStdString(name)
                .leftJustified(42 -
                               (int(name.size()) - int(QString::fromStdString(name).size())) / 2)
                .toStdString();
        std::printf("%s | %6.3f %6.3f %6.3f %6.3f | %6.2f %6.2f | %6.3f | %5.0fx | %s\n",
                    label.c_str(), oc.median, oc.p99, ow.median, ow.p99, u.median, u.p99, f.median,
                    ow.median > 0 ? u.median / ow.median : 0,
                    !samePixels.count(name) ? "-"
                    : samePixels.at(name)   ? "same"
                                            : "DIFFER");
    }
    return 0;
}
