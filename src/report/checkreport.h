#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include "report/checkfindings.h"

// Writes check findings as an A4 PDF that travels through chat apps: the
// header with the product's rules, the summary, every failed order with its
// failed pages (thumbnail, what it is, what it must be, the fix) and the
// matched orders as a list. Thumbnails are made and drawn one at a time, so
// memory does not grow with the class. The file appears whole or not at all.
class CheckReport final
{
public:
    // Where a page's thumbnail went: the PDF page (0-based) and the box as
    // fractions of the page, and whether an image was drawn there.
    struct Placed
    {
        int page = 0;
        QRectF box;
        bool image = false;
    };

    explicit CheckReport(const CheckFindings &findings);

    bool write(const QString &path, QString *error);

    int pageCount() const { return m_pages; }
    const QList<Placed> &thumbnails() const { return m_thumbnails; }

    // "<class>-检查报告-<yyyyMMdd>.pdf", with characters no file system takes replaced.
    static QString defaultFileName(const QString &className, const QDate &date);

private:
    CheckFindings m_findings;
    int m_pages = 0;
    QList<Placed> m_thumbnails;
};
