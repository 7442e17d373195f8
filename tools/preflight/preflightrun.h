#pragma once

#include <memory>
#include <vector>

#include <QJsonObject>
#include <QString>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "model/groupproductimages.h"

// Checks a class folder against one product the way the client does: the
// folder rule, one order per entry, one check task per order on a pool.
class PreflightRun final
{
public:
    enum Outcome { AllMatched = 0, SomeFailed = 1, Refused = 3 };

    PreflightRun(const spuMess &spu, const StoreTerms &terms, int threads);

    Outcome run(const QString &classFolder);

    QJsonObject toJson() const;
    QString toText() const;
    // The photographer's check report of the class as a PDF at `path`.
    bool writeReport(const QString &path, const QString &account, QString *error) const;

private:
    spuMess m_spu;
    StoreTerms m_terms;
    int m_threads;
    QString m_folder;
    bool m_refused = false;
    std::vector<std::unique_ptr<groupProductImages>> m_orders;
};
