#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include "support/files.h"

// The seed resource against the schema the whole client is written for:
// table set, column counts, NOT NULL, defaults and primary keys, and the
// unique SKU index.
class TstSeedSchema : public QObject
{
    Q_OBJECT

private slots:
    // The resource is what the tree's builder makes of the schema text: a new
    // build gives the same bytes. The checks below run on that copy.
    void initTestCase()
    {
        const QByteArray seed = testfiles::read(QStringLiteral(":/db/upload.db.bak"));
        QVERIFY(!seed.isEmpty());
        const QString name = m_dir.filePath(QStringLiteral("a.db"));
        QCOMPARE(QProcess::execute(QStringLiteral(SEED_BUILDER), {QStringLiteral(SCHEMA_SQL), name}), 0);
        QVERIFY(testfiles::read(name) == seed);
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        m_db.setDatabaseName(name);
        QVERIFY(m_db.open());
    }

    // Each row: a query on the seed and its rows, cells joined by '|', rows by ' '.
    void schema_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        // sqlite_sequence is there only for the product table's AUTOINCREMENT: its ids are never reused.
        QTest::newRow("objects") << "SELECT type, name, tbl_name FROM sqlite_master ORDER BY type, name"
                                 << "index|productName|product table|images|images table|orders|orders "
                                    "table|product|product table|sqlite_sequence|sqlite_sequence "
                                    "table|subOrders|subOrders table|user|user";
        // A second insert of a cached SKU is a no-op.
        QTest::newRow("unique SKU index")
            << "SELECT l.name, l.\"unique\", x.name, x.desc FROM "
               "pragma_index_list('product') l, pragma_index_xinfo(l.name) x WHERE x.key = 1"
            << "productName|1|skuID|0";
        // Per table: columns, NOT NULL columns, primary key columns.
        const QString tables = QStringLiteral("FROM sqlite_master m, pragma_table_info(m.name) p "
                                              "WHERE m.type = 'table' AND m.name <> 'sqlite_sequence' ");
        QTest::newRow("columns") << "SELECT m.name, count(*), sum(p.\"notnull\"), sum(p.pk > 0) " + tables
                                        + "GROUP BY m.name ORDER BY m.name"
                                 << "images|20|9|1 orders|22|6|1 product|10|7|1 subOrders|10|5|1 user|5|1|1";
        QTest::newRow("defaults") << "SELECT m.name || '.' || p.name, p.dflt_value " + tables
                                         + "AND p.dflt_value IS NOT NULL ORDER BY 1"
                                  << "images.status|'waiting' orders.status|'newOrder' orders.uploadedCount|0 "
                                     "subOrders.status|'新订单' subOrders.timeCreated|NULL";
    }

    void schema()
    {
        QFETCH(QString, sql);
        QSqlQuery query(m_db);
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        QStringList rows;
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < query.record().count(); ++i)
                cells << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
            rows << cells.join(QLatin1Char('|'));
        }
        QTEST(rows.join(QLatin1Char(' ')), "expected");
    }

private:
    QTemporaryDir m_dir;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(TstSeedSchema)
#include "tst_seedschema.moc"
