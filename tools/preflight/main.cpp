#include <cstdio>

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>

#include "catalog/productparser.h"
#include "catalog/productservice.h"
#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "preflightrun.h"

// preflight: checks a class folder against a product before the client sees
// it, with the client's own rules. Exit code 0 when every order matched.
namespace {

void fail(const QString &text)
{
    std::fprintf(stderr, "preflight: %s\n", qPrintable(text));
}

QJsonObject readJson(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return QJsonObject();
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError)
        *error = QStringLiteral("%1: %2").arg(path, parse.errorString());
    return doc.object();
}

// A product file: the local backend's catalogue (with --spu), one catalogue
// entry {"query", "groupDetails"}, or a bare product query answer.
bool productFromFile(const QString &path, qint32 spuId, const StoreTerms &terms, spuMess *spu, QString *error)
{
    QJsonObject root = readJson(path, error);
    if (!error->isEmpty())
        return false;
    QJsonObject entry = root;
    if (root.contains("products")) {
        entry = QJsonObject();
        for (const QJsonValue &p : root.value("products").toArray()) {
            if (p.toObject().value("query").toObject().value("id").toInt() == spuId)
                entry = p.toObject();
        }
        if (entry.isEmpty()) {
            *error = QStringLiteral("no product %1 in %2").arg(spuId).arg(path);
            return false;
        }
    }
    QJsonValue query = entry.contains("query") ? entry.value("query") : QJsonValue(entry);
    if (query.toObject().contains("data"))
        query = query.toObject().value("data");
    if (!ProductParser::readProduct(query, terms, spu, error))
        return false;
    const QJsonObject details = entry.value("groupDetails").toObject();
    for (skuGroupMess group : spu->groupsById) {
        const QJsonObject detail = details.value(QString::number(group.id)).toObject();
        if (detail.isEmpty())
            continue;
        const QJsonObject answer{{"code", 200}, {"success", true}, {"data", QJsonArray{detail}}};
        if (ProductParser::applyGroupList(group, answer, spu->spuMinDpi, spu->spuMaxDpi))
            spu->replaceGroup(group);
    }
    return true;
}

bool productFromBackend(const QString &backend, const QString &phone, const QString &password, const QString &name,
                        spuMess *spu, StoreTerms *terms, QString *error)
{
    Q_UNUSED(backend);
    HttpUtils &http = HttpUtils::instance();
    if (!http.getToken(phone, password)) {
        *error = QStringLiteral("login failed: %1").arg(http.lastMessage());
        return false;
    }
    Authentication::getStoreInfo();
    *terms = StoreTerms::fromSession();
    QList<QPair<qint32, QString>> found;
    if (!ProductService::search(name, &found) || found.isEmpty()) {
        *error = QStringLiteral("no product named %1").arg(name);
        return false;
    }
    if (!ProductService::query(found.first().first, spu, error)) {
        if (error->isEmpty())
            *error = QStringLiteral("product query failed: %1").arg(http.lastMessage());
        return false;
    }
    if (!spu->isSeries) {
        for (qint32 groupId : spu->groupsById.keys())
            ProductService::loadGroupGeometry(spu, groupId);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    AppPaths::initialise();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks a class folder against a print product with the client's rules and prints, per order, the state, "
        "page count, matched SKU, price and every error."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("the class folder"));
    parser.addOptions({
        {QStringLiteral("product"), QStringLiteral("product file in the backend's response format"),
         QStringLiteral("file")},
        {QStringLiteral("spu"), QStringLiteral("product id within a catalogue file"), QStringLiteral("id")},
        {QStringLiteral("backend"), QStringLiteral("backend web address, e.g. http://127.0.0.1:27080/"),
         QStringLiteral("url")},
        {QStringLiteral("phone"), QStringLiteral("store account for --backend"), QStringLiteral("phone")},
        {QStringLiteral("password"), QStringLiteral("its password"), QStringLiteral("password")},
        {QStringLiteral("name"), QStringLiteral("product name to search on the backend"), QStringLiteral("text")},
        {QStringLiteral("group"), QStringLiteral("check against this SKU group only"), QStringLiteral("id")},
        {QStringLiteral("store-type"), QStringLiteral("store type for prices with --product"), QStringLiteral("type"),
         QStringLiteral("PHOTO")},
        {QStringLiteral("startups"), QStringLiteral("start-up flag for prices with --product"), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("threads"), QStringLiteral("check threads (default: all cores)"), QStringLiteral("n")},
        {QStringLiteral("json"), QStringLiteral("print JSON")},
        {QStringLiteral("report"), QStringLiteral("also write the photographer's check report (PDF)"),
         QStringLiteral("file")},
    });
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    const QString folder = QDir(parser.positionalArguments().first()).absolutePath();
    spuMess spu;
    StoreTerms terms{parser.value(QStringLiteral("startups")).toInt(), parser.value(QStringLiteral("store-type"))};
    QString error;
    if (parser.isSet(QStringLiteral("product"))) {
        if (!productFromFile(parser.value(QStringLiteral("product")), parser.value(QStringLiteral("spu")).toInt(),
                             terms, &spu, &error)) {
            fail(error);
            return 2;
        }
    } else if (parser.isSet(QStringLiteral("backend"))) {
        QString base = parser.value(QStringLiteral("backend"));
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        // The client reads its backend from data/config.json in its working folder.
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        QDir().mkpath(QStringLiteral("data"));
        QFile config(QStringLiteral("data/config.json"));
        if (config.open(QIODevice::WriteOnly))
            config.write(QJsonDocument(QJsonObject{{"baseUrl", base}}).toJson());
        config.close();
        configFile::readConfig();
        if (!productFromBackend(base, parser.value(QStringLiteral("phone")), parser.value(QStringLiteral("password")),
                                parser.value(QStringLiteral("name")), &spu, &terms, &error)) {
            fail(error);
            return 2;
        }
    } else {
        fail(QStringLiteral("give --product FILE or --backend URL"));
        return 2;
    }

    if (parser.isSet(QStringLiteral("group"))) {
        const qint32 groupId = parser.value(QStringLiteral("group")).toInt();
        if (!spu.groupsById.contains(groupId)) {
            fail(QStringLiteral("no group %1 in %2").arg(groupId).arg(spu.spuName));
            return 2;
        }
        spu.candidateGroups = {spu.groupsById.value(groupId)};
        spu.currentGroup = spu.candidateGroups.first();
    } else if (!spu.isSeries) {
        // Without a choice of properties every group is a candidate.
        spu.candidateGroups = spu.groupsById.values();
    }

    const int threads = parser.isSet(QStringLiteral("threads")) ? parser.value(QStringLiteral("threads")).toInt()
                                                                : QThread::idealThreadCount();
    PreflightRun run(spu, terms, qMax(1, threads));
    const PreflightRun::Outcome outcome = run.run(folder);
    if (parser.isSet(QStringLiteral("json")))
        std::fputs(QJsonDocument(run.toJson()).toJson().constData(), stdout);
    else
        std::fputs(run.toText().toUtf8().constData(), stdout);
    if (parser.isSet(QStringLiteral("report"))) {
        const QString account =
            parser.isSet(QStringLiteral("backend")) ? parser.value(QStringLiteral("phone")) : QString();
        if (!run.writeReport(parser.value(QStringLiteral("report")), account, &error)) {
            fail(error);
            return 2;
        }
    }
    return outcome;
}
