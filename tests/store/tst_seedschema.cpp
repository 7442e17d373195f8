#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

// The seed resource against the schema the whole client is written for:
// table set, columns in order with declared types, NOT NULL, defaults and
// primary keys, and the unique SKU index.
class TstSeedSchema : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(QStringLiteral(":/db/upload.db.bak")));
        const QString copy = m_dir.filePath(QStringLiteral("seed.db"));
        QVERIFY(QFile::copy(QStringLiteral(":/db/upload.db.bak"), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
        m_db.setDatabaseName(copy);
        QVERIFY(m_db.open());
    }

    void cleanupTestCase()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("seed"));
    }

    void objects()
    {
        QCOMPARE(rows(QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master ORDER BY type, name"), 3),
                 (QStringList{"index|productName|product", "table|images|images", "table|orders|orders",
                              "table|product|product", "table|sqlite_sequence|sqlite_sequence",
                              "table|subOrders|subOrders", "table|user|user"}));
        const QStringList productSql = rows(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'product'"), 1);
        QVERIFY(productSql.value(0).contains(QStringLiteral("AUTOINCREMENT")));
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM orders"), 1), QStringList{"0"});
    }

    // Each column: name|declared type|not null|default|primary key position.
    void columns_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");

        QTest::newRow("orders")
            << "orders"
            << QStringLiteral(
                   "id|INTEGER|1|NULL|1 orderNo|TEXT(100)|1|NULL|0 spuID|INTEGER|0|NULL|0 productName|TEXT|0|NULL|0 "
                   "ifSeries|INTEGER|0|NULL|0 skuGroupName|TEX|0|NULL|0 name|TEXT(255)|1|NULL|0 "
                   "size|INTEGER|1|NULL|0 timeCreated|TEXT|0|NULL|0 fileCout|INTEGER|1|NULL|0 "
                   "uploadedCount|INTEGER|0|0|0 orderCount|INTEGER|1|NULL|0 status|TEXT(32)|0|'newOrder'|0 "
                   "customerId|TEXT(20)|0|NULL|0 customerName|TEXT(255)|0|NULL|0 description|TEXT(255)|0|NULL|0 "
                   "timeFinished|TEXT|0|NULL|0 timeCart|TEXT|0|NULL|0 orderJson|TEXT|0|NULL|0 "
                   "failsCount|INTEGER|0|NULL|0 uploadUrl|TEXT(255)|0|NULL|0 storagePath|TEXT(255)|0|NULL|0");
        QTest::newRow("subOrders")
            << "subOrders"
            << QStringLiteral(
                   "id|INTEGER|1|NULL|1 skuID|INTEGER|1|NULL|0 orderNo|TEXT(100)|1|NULL|0 name|TEXT(255)|1|NULL|0 "
                   "timeCreated|TEXT|0|NULL|0 filesCount|INTEGER|1|NULL|0 status|TEXT(32)|0|'新订单'|0 "
                   "failsCount|INTEGER|0|NULL|0 parentOrderId|TEXT|0|NULL|0 price|INTEGER|0|NULL|0");
        QTest::newRow("images")
            << "images"
            << QStringLiteral(
                   "id|INTEGER|1|NULL|1 imageName|TEXT|0|NULL|0 name|TEXT|1|NULL|0 orderId|TEXT|1|NULL|0 "
                   "subOrderId|TEXT|1|NULL|0 skuId|INTEGER|0|NULL|0 size|INTEGER|0|NULL|0 IsRotate|BOOLEAN|1|NULL|0 "
                   "sort|INTEGER|1|NULL|0 type|TEXT|1|NULL|0 localPath|TEXT|1|NULL|0 imageMess|TEXT|1|NULL|0 "
                   "url|TEXT|0|NULL|0 status|TEXT|0|'waiting'|0 uploadDate|INTEGER|0|NULL|0 MD5|TEXT|0|NULL|0 "
                   "specialLayout|BLOB|0|NULL|0 specialLayoutWhitePagePosition|TEXT|0|NULL|0 pdfPath|TEXT|0|NULL|0 "
                   "BucketType|INTEGER|0|NULL|0");
        QTest::newRow("product")
            << "product"
            << QStringLiteral("id|INTEGER|0|NULL|1 skuID|INTEGER|1|NULL|0 skuPrice|INTEGER|1|NULL|0 "
                              "ifSeries|BOOLEAN(10)|1|NULL|0 spuID|INTEGER|1|NULL|0 productName|VARCHAR(100)|1|NULL|0 "
                              "skuGroupName|TEXT(100)|1|NULL|0 skuGroupID|INTEGER|1|NULL|0 productID|INTEGER|0|NULL|0 "
                              "parentID|INTEGER|0|NULL|0");
        QTest::newRow("user")
            << "user"
            << QStringLiteral(
                   "id|INTEGER|1|NULL|1 user_name|TEXT|0|NULL|0 password|TEXT|0|NULL|0 created_time|DATE|0|NULL|0 "
                   "last_login_time|DATE|0|NULL|0");
    }

    void columns()
    {
        QFETCH(QString, table);
        QFETCH(QString, expected);
        QCOMPARE(rows(QStringLiteral("SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info('%1')")
                          .arg(table),
                      5)
                     .join(QLatin1Char(' ')),
                 expected);
    }

    void uniqueSkuIndex()
    {
        QCOMPARE(rows(QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list('product')"), 2),
                 QStringList{"productName|1"});
        QCOMPARE(rows(QStringLiteral("SELECT name, desc FROM pragma_index_xinfo('productName') WHERE key = 1"), 2),
                 QStringList{"skuID|0"});

        // The index makes a second insert of a cached SKU a no-op.
        QSqlQuery query(m_db);
        const QString insert = QStringLiteral("INSERT OR IGNORE INTO product(skuID,skuPrice,ifSeries,spuID,productName,"
                                              "skuGroupName,skuGroupID) VALUES(501,10,0,5,'相册','组',3)");
        QVERIFY(query.exec(insert));
        QVERIFY(query.exec(insert));
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM product WHERE skuID = 501"), 1), QStringList{"1"});
        // Rows ids are aliases of the rowid, as the list queries sorting by id expect.
        QVERIFY(query.exec(
            QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) VALUES('x','y',1,1,1)")));
        QCOMPARE(rows(QStringLiteral("SELECT id = rowid, status, uploadedCount FROM orders"), 3),
                 QStringList{"1|newOrder|0"});
    }

    // The resource is what the tree's builder makes of the schema text, and the
    // builder gives the same bytes every time.
    void seedIsTheSchemaTextBuilt()
    {
        QFile resource(QStringLiteral(":/db/upload.db.bak"));
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QByteArray seed = resource.readAll();
        QVERIFY(seed.startsWith("SQLite format 3"));
        for (const QString &name : {QStringLiteral("a.db"), QStringLiteral("b.db")}) {
            const QString out = m_dir.filePath(name);
            QProcess builder;
            builder.start(QStringLiteral(SEED_BUILDER), {QStringLiteral(SCHEMA_SQL), out});
            QVERIFY(builder.waitForFinished(30000));
            QCOMPARE(builder.exitCode(), 0);
            QFile built(out);
            QVERIFY(built.open(QIODevice::ReadOnly));
            QVERIFY(built.readAll() == seed);
        }
        QProcess missing;
        missing.start(QStringLiteral(SEED_BUILDER),
                      {m_dir.filePath(QStringLiteral("none.sql")), m_dir.filePath(QStringLiteral("c.db"))});
        QVERIFY(missing.waitForFinished(30000));
        QCOMPARE(missing.exitCode(), 1);
    }

private:
    QStringList rows(const QString &sql, int columns)
    {
        QStringList out;
        QSqlQuery query(m_db);
        if (!query.exec(sql))
            return {QStringLiteral("error: ") + query.lastError().text()};
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < columns; ++i)
                cells << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }

    QTemporaryDir m_dir;
    QSqlDatabase m_db;
};

QTEST_GUILESS_MAIN(TstSeedSchema)
#include "tst_seedschema.moc"
