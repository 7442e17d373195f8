#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "localbackend.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local stand-in for the shop backend, on loopback."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port to listen on; 0 picks a free one."),
                      QStringLiteral("port"), QStringLiteral("27080")});
    parser.addOption({QStringLiteral("data"), QStringLiteral("Folder with the backend's JSON files."),
                      QStringLiteral("dir"), QStringLiteral(LOCALBACKEND_DATA_DIR)});
    parser.addOption({QStringLiteral("signing-key"),
                      QStringLiteral("PEM Ed25519 key that signs the installers; empty: unsigned."),
                      QStringLiteral("file"), QStringLiteral(LOCALBACKEND_SIGNING_KEY)});
    parser.addOption(
        {QStringLiteral("tls-cert"), QStringLiteral("PEM certificate; with it, https only."), QStringLiteral("file")});
    parser.addOption(
        {QStringLiteral("tls-key"), QStringLiteral("PEM private key of --tls-cert."), QStringLiteral("file")});
    parser.process(app);

    LocalBackend backend(parser.value(QStringLiteral("data")));
    QString error;
    if (!backend.load(&error)) {
        std::fprintf(stderr, "localbackend: %s\n", qPrintable(error));
        return 2;
    }
    const QString signingKey = parser.value(QStringLiteral("signing-key"));
    if (!signingKey.isEmpty() && !backend.loadSigningKey(signingKey, &error)) {
        std::fprintf(stderr, "localbackend: %s\n", qPrintable(error));
        return 2;
    }
    const QString certificate = parser.value(QStringLiteral("tls-cert"));
    if (!certificate.isEmpty() && !backend.useTls(certificate, parser.value(QStringLiteral("tls-key")), &error)) {
        std::fprintf(stderr, "localbackend: %s\n", qPrintable(error));
        return 2;
    }
    const quint16 port = backend.start(parser.value(QStringLiteral("port")).toUShort());
    if (port == 0) {
        std::fprintf(stderr, "localbackend: cannot listen on port %s\n",
                     qPrintable(parser.value(QStringLiteral("port"))));
        return 2;
    }
    std::printf("localbackend listening on port %u\n", unsigned(port));
    std::fflush(stdout);
    return app.exec();
}
