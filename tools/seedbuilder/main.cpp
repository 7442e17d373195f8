// Builds the seed database from the schema text with Qt's SQLite driver, so a
// build machine needs no sqlite3 program:  seedbuilder <schema.sql> <out.db>
// The same text gives the same bytes: one statement after another in
// autocommit, exactly as the text orders them.
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include "schemastatements.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: seedbuilder <schema.sql> <out.db>\n";
        return 2;
    }
    QFile schema(args.at(1));
    if (!schema.open(QIODevice::ReadOnly)) {
        err << "seedbuilder: cannot read " << args.at(1) << ": " << schema.errorString() << "\n";
        return 1;
    }
    const QStringList statements = SchemaStatements::split(QString::fromUtf8(schema.readAll()));
    if (statements.isEmpty()) {
        err << "seedbuilder: no statement in " << args.at(1) << "\n";
        return 1;
    }

    const QString out = args.at(2);
    QFile::remove(out);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
        db.setDatabaseName(out);
        if (!db.open()) {
            err << "seedbuilder: cannot create " << out << ": " << db.lastError().text() << "\n";
            ok = false;
        }
        for (int i = 0; ok && i < statements.size(); ++i) {
            QSqlQuery query(db);
            if (!query.exec(statements.at(i))) {
                err << "seedbuilder: statement " << i + 1 << " failed: " << query.lastError().text() << "\n"
                    << statements.at(i) << "\n";
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("seed"));
    if (!ok)
        QFile::remove(out);
    return ok ? 0 : 1;
}
