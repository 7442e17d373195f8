// tour OUTDIR SAMPLES [phone password]: the guided tour of the real client
// window along the whole road, run in a prepared working folder (its
// data/config.json points at a backend and an object store). Writes numbered
// screenshots and OUTDIR/index.html; exit code 0 when every step was done.
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/vellruntime.h"
#include "guidedtour.h"
#include "ui/mainwindow.h"
#include "upload/databasethread.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 5) {
        std::fprintf(stderr, "usage: tour OUTDIR SAMPLES [phone password]\n");
        return 2;
    }
    AppPaths::initialise();
    configFile::readConfig();
    VellRuntime::instance().loadErrorTable();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC")});
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    QApplication::setFont(font);

    const QDir samples(args.at(2));
    const QList<GuidedTour::SampleClass> classes{
        {QStringLiteral("经典对裱相册"), samples.filePath(QStringLiteral("album-class/三年二班"))},
        {QStringLiteral("水晶摆台"), samples.filePath(QStringLiteral("frame-class/水晶摆台 二年一班"))},
        {QStringLiteral("毕业季套系"), samples.filePath(QStringLiteral("series-class/毕业季 六年一班"))},
    };
    int code = 1;
    {
        MainWindow window;
        window.resize(1366, 768);
        window.show();
        GuidedTour tour(window, args.at(1));
        const bool done = args.size() == 5
                              ? tour.run(args.at(3), args.at(4), classes)
                              : tour.run(QStringLiteral("13800000001"), QStringLiteral("demo1234"), classes);
        std::printf(done ? "tour: done in %d steps: %s\n" : "tour: stopped after %d steps: %s\n", tour.stepCount(),
                    qPrintable(tour.pagePath()));
        if (!done)
            std::printf("tour: %s\n", qPrintable(tour.failure()));
        code = done ? 0 : 1;
        window.hide();
    }
    DatabaseThread::instance().stop();
    return code;
}
