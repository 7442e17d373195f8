#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include "catalog/spumess.h"
#include "model/productrecord.h"

// The operator's way to one SKU group: the product names found for what
// was typed, the product chosen by name, then a value for each property.
// Each step says what the page shows; the widgets stay with the page.
class ProductChoice final
{
public:
    // What a settled choice means for the page.
    struct Outcome
    {
        bool ready = false;     // a group is settled and orders can be checked
        bool goldStamp = false; // ordered online: templates only, no check
        QStringList specLines;
        QString pagesText; // "支持P数:…" of a group with one SKU
        QMap<qint32, productRecord> skuTable;
    };

    // Adds the products whose name holds `text` to those offered; true when
    // the offered names changed. Short texts and known names ask nothing.
    bool search(const QString &text);
    QStringList names() const { return m_names; }
    void forget();

    // Loads the named product; false with the operator's text in `problem`
    // (empty when the request failed and its notice was shown already).
    bool choose(const QString &name, QString *problem);
    const spuMess &product() const { return m_product; }
    // A series is settled at once; other products after their properties.
    Outcome seriesOutcome();
    // The value of one property; settles once every property has one.
    Outcome select(qint32 dictId, qint32 valueId);
    // A product without properties.
    Outcome settle();

private:
    static productRecord recordOf(const spuMess &spu, const skuGroupMess &group, qint32 skuId, double price);

    QMap<QString, qint32> m_known;
    QStringList m_names;
    spuMess m_product;
};
