// Memory of the window over long drags: every style of the kit, MOVES drag moves each, then
// the peak and current resident size.
//
//   /usr/bin/time -v build/bench/bench-window 1000
#include "app/programvalues.h"
#include "output/platform.h"
#include "quietplatform.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>

#include <cstdio>

namespace {

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int moves = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QuietPlatform platform;
    const ProgramValues values = startProgram(QStringLiteral(SORVEX_KIT_DIR), platform);
    frmMain w(values, platform);
    auto* styles = w.findChild<QComboBox*>(QStringLiteral("cboFont"));
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < styles->count(); ++i) {
            styles->setCurrentIndex(i);
            w.cboFont_Click();
            w.imgMove_MouseDown(1, 0, 30, 30);
            for (int m = 0; m < moves; ++m)
                w.imgMove_MouseMove(1, 0, 30 + float((m % 9) - 4) * 15,
                                    30 + float((m % 7) - 3) * 15);
            w.imgMove_MouseUp(1, 0, 30, 30);
        }
        std::printf("after %d moves over %d styles: peak resident %ld kB, resident %ld kB\n",
                    (round + 1) * moves * int(styles->count()), int(styles->count()),
                    statusKb("VmHWM:"), statusKb("VmRSS:"));
    }
    return 0;
}
