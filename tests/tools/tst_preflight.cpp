#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "classlayout.h"
#include "support/files.h"

// The preflight program on a generated class whose faults are known.
class TstPreflight : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QByteArray preset = testfiles::read(QStringLiteral(PRESET_DIR "/album-class.json"));
        QCOMPARE(ClassLayout::build(QJsonDocument::fromJson(preset).object(), m_dir.path()), 93);
        m_class = m_dir.filePath(QStringLiteral("三年二班"));
    }

    void reportsEveryOrder()
    {
        QByteArray out;
        QCOMPARE(
            runPreflight({QStringLiteral("--group"), QStringLiteral("2101"), QStringLiteral("--json"), m_class}, &out),
            1);
        const QJsonObject report = QJsonDocument::fromJson(out).object();
        // The class with its matched and failed counts, then per order: name, number
        // suffix, state, SKU, pages, price, faults. 254 ppi pages use the first
        // window; 14 pages is two online steps.
        QStringList orders{report["class"].toString()
                           + QString::asprintf(" %d/%d", report["matched"].toInt(), report["failed"].toInt())};
        for (const QJsonValue &o : report["orders"].toArray())
            orders << QStringLiteral("%1 %2 %3 ")
                              .arg(o["name"].toString(), o["orderNo"].toString().right(3), o["state"].toString())
                          + QString::asprintf("%d %dP %g %d", o["skuId"].toInt(), o["pageCount"].toInt(),
                                              o["price"].toDouble(), int(o["errors"].toArray().size()));
        QCOMPARE(orders, (QStringList{"三年二班 2/5", "01 张三 001 匹配成功 210101 12P 176 0",
                                      "02 李四 002 匹配成功 210101 14P 184 0", "03 王五 003 产品P数不对 0 11P 0 1",
                                      "04 赵六 004 色彩模式应为RGB:封面 0 0P 0 1", "05 孙七 005 分辨率错误 0 0P 0 1",
                                      "06 周八 006 封皮P数不对 0 12P 0 1", "07 吴九 007 图片尺寸有误 0 12P 0 2"}));
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
