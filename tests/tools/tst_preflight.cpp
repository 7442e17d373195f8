#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "classlayout.h"

// The preflight program on a generated class whose faults are known.
class TstPreflight : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile preset(QStringLiteral(PRESET_DIR "/album-class.json"));
        QVERIFY(preset.open(QIODevice::ReadOnly));
        QString error;
        QCOMPARE(ClassLayout::build(QJsonDocument::fromJson(preset.readAll()).object(), m_dir.path(), &error), 93);
        m_class = m_dir.filePath(QStringLiteral("三年二班"));
    }

    void reportsEveryOrder()
    {
        QByteArray out;
        QCOMPARE(
            runPreflight({QStringLiteral("--group"), QStringLiteral("2101"), QStringLiteral("--json"), m_class}, &out),
            1);
        const QJsonObject report = QJsonDocument::fromJson(out).object();
        QCOMPARE(report.value("class").toString(), QStringLiteral("三年二班"));
        QCOMPARE(report.value("matched").toInt(), 2);
        QCOMPARE(report.value("failed").toInt(), 5);

        const QJsonArray orders = report.value("orders").toArray();
        const QJsonObject first = orders.at(0).toObject();
        QCOMPARE(first.value("name").toString() + '=' + first.value("state").toString(),
                 QStringLiteral("01 张三=匹配成功"));
        QCOMPARE(orders.at(4).toObject().value("state").toString(), QStringLiteral("分辨率错误"));
        QCOMPARE(first.value("skuId").toInt(), 210101);
        QCOMPARE(first.value("pageCount").toInt(), 12);
        QCOMPARE(first.value("price").toDouble(), 176.0);
        QVERIFY(first.value("orderNo").toString().endsWith(QStringLiteral("001")));
        // 254 ppi pages use the first window; 14 pages is two online steps.
        QCOMPARE(orders.at(1).toObject().value("price").toDouble(), 184.0);
        QCOMPARE(orders.at(6).toObject().value("errors").toArray().size(), 2);
    }

    void refusedFolder()
    {
        QByteArray out;
        // An album class holds folders only; one order folder alone holds files.
        QCOMPARE(runPreflight({m_class + QStringLiteral("/02 李四")}, &out), 3);
        QVERIFY(QString::fromUtf8(out).contains(QStringLiteral("产品层次有问题，请参照示例图组织产品层次")));
    }

private:
    int runPreflight(const QStringList &args, QByteArray *out)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("xdg")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PREFLIGHT_EXECUTABLE),
                      QStringList{QStringLiteral("--product"), QStringLiteral(CATALOGUE_JSON), QStringLiteral("--spu"),
                                  QStringLiteral("1001")}
                          + args);
        if (!process.waitForFinished(60000))
            return -1;
        *out = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir m_dir;
    QString m_class;
};

QTEST_MAIN(TstPreflight)
#include "tst_preflight.moc"
