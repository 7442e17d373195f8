#include "preflightrun.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QThreadPool>

#include "core/numbertext.h"
#include "intake/cleanpath.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "report/checkreport.h"

namespace {

const QString kRefused = QStringLiteral("产品层次有问题，请参照示例图组织产品层次");

// Every text the checks left on the order: its message and each sub-order's errors.
QStringList allErrors(const groupProductImages &order)
{
    QStringList errors;
    if (!order.message.isEmpty())
        errors << order.message;
    for (const subOrderImages &sub : order.failed) {
        for (const QString &e : sub.errors)
            errors << sub.name + QStringLiteral(": ") + e;
    }
    return errors;
}

} // namespace

PreflightRun::PreflightRun(const spuMess &spu, const StoreTerms &terms, int threads)
    : m_spu(spu)
    , m_terms(terms)
    , m_threads(threads)
{
}

PreflightRun::Outcome PreflightRun::run(const QString &classFolder)
{
    m_folder = cleanPath(QFileInfo(classFolder).absoluteFilePath());
    if (!FolderIntake::structureOk(m_folder, m_spu.kind())) {
        m_refused = true;
        return Refused;
    }
    m_orders = FolderIntake::createOrders(m_folder, m_spu, QDateTime::currentDateTime());

    QThreadPool pool;
    pool.setMaxThreadCount(m_threads);
    for (const auto &order : m_orders) {
        auto *task = new readImageToProduct(order->path, m_spu, order.get(), false, m_terms);
        pool.start(task, 0);
    }
    pool.waitForDone();

    for (const auto &order : m_orders) {
        if (!order->isMatched())
            return SomeFailed;
    }
    return AllMatched;
}

QJsonObject PreflightRun::toJson() const
{
    QJsonArray orders;
    int matched = 0;
    for (const auto &order : m_orders) {
        const bool ok = order->isMatched();
        matched += ok ? 1 : 0;
        orders.append(QJsonObject{{"orderNo", order->orderNo},
                                  {"name", order->name},
                                  {"path", order->path},
                                  {"state", order->matchStateText()},
                                  {"matched", ok},
                                  {"pageCount", order->pageCount},
                                  {"skuId", order->skuId},
                                  {"skuGroupId", order->skuGroupId},
                                  {"group", ok ? order->productName : QString()},
                                  {"price", NumberText::shortest(order->price).toDouble()},
                                  {"images", order->imageCount},
                                  {"bytes", order->totalBytes},
                                  {"errors", QJsonArray::fromStringList(allErrors(*order))}});
    }
    QJsonObject result{{"class", QFileInfo(m_folder).fileName()},
                       {"product", QJsonObject{{"id", m_spu.id}, {"name", m_spu.spuName}, {"kind", int(m_spu.kind())}}},
                       {"orders", orders},
                       {"matched", matched},
                       {"failed", int(m_orders.size()) - matched}};
    if (m_refused)
        result.insert("refused", kRefused);
    return result;
}

QString PreflightRun::toText() const
{
    QString out = QStringLiteral("班级: %1    产品: %2\n").arg(QFileInfo(m_folder).fileName(), m_spu.spuName);
    if (m_refused)
        return out + kRefused + QLatin1Char('\n');
    int matched = 0;
    for (const auto &order : m_orders) {
        const bool ok = order->isMatched();
        matched += ok ? 1 : 0;
        out += QStringLiteral("[%1] %2").arg(order->matchStateText(), order->name);
        if (ok) {
            out += QStringLiteral("  %1P  SKU %2 (%3)  价格 %4")
                       .arg(order->pageCount)
                       .arg(order->skuId)
                       .arg(order->productName)
                       .arg(double(order->price), 0, 'f', 2);
        }
        out += QLatin1Char('\n');
        for (const QString &e : allErrors(*order))
            out += QStringLiteral("    - ") + e + QLatin1Char('\n');
    }
    out += QStringLiteral("合计 %1 单：匹配成功 %2，匹配失败 %3\n")
               .arg(m_orders.size())
               .arg(matched)
               .arg(int(m_orders.size()) - matched);
    return out;
}

bool PreflightRun::writeReport(const QString &path, const QString &account, QString *error) const
{
    if (m_refused) {
        *error = kRefused;
        return false;
    }
    QList<const groupProductImages *> orders;
    for (const auto &order : m_orders)
        orders << order.get();
    CheckReport report(CheckFindings::build(m_spu, orders, account, QFileInfo(m_folder).fileName()));
    return report.write(path, error);
}
