#include <cstdio>

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "classlayout.h"

// samplegen DESCRIPTION.json OUTDIR: lays out the described class folder(s).
int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes sample class folders of JPEGs with chosen metadata."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("description"), QStringLiteral("JSON description of the folder tree"));
    parser.addPositionalArgument(QStringLiteral("outdir"), QStringLiteral("folder to write into"));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2)
        parser.showHelp(2);

    QFile file(args.at(0));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "samplegen: cannot read %s\n", qPrintable(args.at(0)));
        return 2;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        std::fprintf(stderr, "samplegen: %s\n", qPrintable(parseError.errorString()));
        return 2;
    }
    QString error;
    const int images = ClassLayout::build(doc.object(), args.at(1), &error);
    if (images < 0) {
        std::fprintf(stderr, "samplegen: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("samplegen: %d images written under %s\n", images, qPrintable(args.at(1)));
    return 0;
}
