#pragma once

#include <QStringList>

// Splits an SQL script into its statements: "--" comments dropped, ";" ends a
// statement unless it sits inside quotes. Enough for a schema of tables and
// indexes; a trigger body would need the BEGIN ... END rule as well.
class SchemaStatements
{
public:
    static QStringList split(const QString &script);
};
