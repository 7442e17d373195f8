#include "report/checkfindings.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "intake/checktexts.h"
#include "intake/pagematcher.h"
#include "intake/systemleftovers.h"
#include "report/pagepreview.h"

namespace {

constexpr qint32 kFirstDpi = 254; // the resolution that takes a geometry's first window

// Accepted pixels, bounds included.
struct Window
{
    qint32 minW = 0, maxW = 0, minH = 0, maxH = 0;
    bool holdsWidth(qint32 w) const { return minW <= w && w <= maxW; }
    bool holdsHeight(qint32 h) const { return minH <= h && h <= maxH; }
};

Window windowOf(const composeSizeMess &cs, bool first, bool half)
{
    qint32 minW = first ? cs.minWidth1 : cs.minWidth2;
    qint32 maxW = first ? cs.maxWidth1 : cs.maxWidth2;
    if (half) {
        minW /= 2;
        maxW /= 2;
    }
    return Window{minW + 1, maxW - 1, (first ? cs.minHeight1 : cs.minHeight2) + 1,
                  (first ? cs.maxHeight1 : cs.maxHeight2) - 1};
}

QString span(qint32 low, qint32 high)
{
    return low == high ? QString::number(low) : QStringLiteral("%1–%2").arg(low).arg(high);
}

qint32 dpiOf(const spuMess &spu, bool first)
{
    const qint32 dpi = first ? spu.spuMinDpi : spu.spuMaxDpi;
    return dpi > 0 ? dpi : (first ? kFirstDpi : 300);
}

QString windowText(const Window &w, qint32 dpi)
{
    return QStringLiteral("%1 × %2 像素（%3 dpi）").arg(span(w.minW, w.maxW), span(w.minH, w.maxH)).arg(dpi);
}

QString mm(float value)
{
    return QString::number(double(value), 'g', 6);
}

// How one kind of page is checked: its geometry, whether it is a half-width
// first or last page, and whether it may fit turned.
struct PageRule
{
    const composeSizeMess *cs = nullptr;
    bool half = false;
    bool allowRotation = false;
    QString label;
};

QString bothWindows(const spuMess &spu, const PageRule &rule)
{
    return windowText(windowOf(*rule.cs, false, rule.half), dpiOf(spu, false)) + QStringLiteral("，或 ")
           + windowText(windowOf(*rule.cs, true, rule.half), dpiOf(spu, true));
}

bool fitsAt(const imgMess &page, const PageRule &rule, qint32 dpi)
{
    return PageMatcher::fit(QSize(page.width, page.height), dpi, page.IsRotate, *rule.cs, rule.half, rule.allowRotation)
           != PageMatcher::NoFit;
}

// The sentence for a page whose pixels miss `w`.
QString sizeFix(qint32 uw, qint32 uh, const Window &w)
{
    if (!w.holdsWidth(uw) && w.holdsHeight(uh))
        return QStringLiteral("图片宽度需要在%1到%2像素之间，现在是%3").arg(w.minW).arg(w.maxW).arg(uw);
    if (w.holdsWidth(uw) && !w.holdsHeight(uh))
        return QStringLiteral("图片高度需要在%1到%2像素之间，现在是%3").arg(w.minH).arg(w.maxH).arg(uh);
    return QStringLiteral("图片尺寸需要在%1到%2 × %3到%4像素之间，现在是%5 × %6")
        .arg(w.minW)
        .arg(w.maxW)
        .arg(w.minH)
        .arg(w.maxH)
        .arg(uw)
        .arg(uh);
}

QString formatFix(const QString &kind)
{
    if (kind == QLatin1String("JPG"))
        return QStringLiteral("这是JPG图片，请把文件扩展名改为.jpg");
    if (kind.isEmpty())
        return QStringLiteral("这个文件打不开，不是图片，请重新导出为JPG");
    return QStringLiteral("这是%1图片，请另存为JPG").arg(kind);
}

QString orientation(qint32 w, qint32 h)
{
    return w > h ? QStringLiteral("横向") : w < h ? QStringLiteral("竖向") : QStringLiteral("正方形");
}

class Judge
{
public:
    explicit Judge(const spuMess &spu)
        : m_spu(spu)
    {
    }

    // The finding for one page, or none when nothing is wrong with it.
    bool page(const imgMess &p, const PageRule &rule, CheckFindings::Page *out) const
    {
        QStringList fixes;
        bool notRgb = false;
        bool resolution = false;
        for (const QString &e : p.errors) {
            if (e.startsWith(CheckTexts::wrongFormat))
                fixes << formatFix(PagePreview::contentKind(p.localPath));
            else if (e.startsWith(CheckTexts::truncated))
                fixes << QStringLiteral("文件不完整（可能没有导出或复制完），请重新导出这张图片");
            else if (e.startsWith(CheckTexts::notRgb))
                notRgb = true;
            else if (e == CheckTexts::resolution)
                resolution = true;
            else
                fixes << e;
        }
        const bool sized = !p.isPdf && p.width > 0 && p.height > 0 && rule.cs && !rule.cs->isEmpty();
        const qint32 uw = p.uprightWidth();
        const qint32 uh = p.uprightHeight();
        const qint32 second = dpiOf(m_spu, false);
        QString colour = QStringLiteral("RGB");
        if (notRgb) {
            colour = PagePreview::colourMode(p.localPath);
            if (colour.isEmpty())
                colour = QStringLiteral("不是RGB");
            fixes << QStringLiteral("色彩模式改为RGB（现在是%1）").arg(colour);
        }
        if (resolution) {
            QString fix = QStringLiteral("分辨率改为%1 dpi").arg(second);
            if (sized && fitsAt(p, rule, second))
                fix += QStringLiteral("，像素尺寸不用改");
            else if (sized && fitsAt(p, rule, kFirstDpi))
                fix = QStringLiteral("分辨率改为%1 dpi，像素尺寸不用改").arg(kFirstDpi);
            else if (sized)
                fix += QStringLiteral("，并且") + sizeFix(uw, uh, windowOf(*rule.cs, false, rule.half));
            fixes << fix;
        } else if (sized) {
            imgMess probe = p;
            if (PageMatcher::fitWithFallback(probe, QSize(p.width, p.height), *rule.cs, rule.half, rule.allowRotation)
                == PageMatcher::NoFit) {
                PageRule turned = rule;
                turned.allowRotation = true;
                if (!rule.allowRotation && fitsAt(p, turned, p.xdpi)) {
                    fixes << QStringLiteral("图片横竖方向反了，请旋转90°");
                } else {
                    const bool first = p.xdpi == kFirstDpi;
                    fixes << sizeFix(uw, uh, windowOf(*rule.cs, first, rule.half));
                }
            }
        }
        if (fixes.isEmpty())
            return false;

        out->file = QFileInfo(p.localPath).fileName();
        out->path = p.localPath;
        out->rotation = p.IsRotate;
        out->fix = fixes.join(QStringLiteral("；"));
        out->required = rule.cs && !rule.cs->isEmpty() ? rule.label + QStringLiteral("：") + bothWindows(m_spu, rule)
                                                             + QStringLiteral("，RGB，JPG")
                                                       : QStringLiteral("JPG 图片，RGB");
        if (p.isPdf) {
            out->measured = QStringLiteral("PDF 文件");
        } else if (p.width <= 0 || p.height <= 0) {
            out->measured = QStringLiteral("读不出像素尺寸");
        } else {
            const QString dpi = p.xdpi == p.ydpi ? QStringLiteral("%1 dpi").arg(p.xdpi)
                                                 : QStringLiteral("%1 × %2 dpi").arg(p.xdpi).arg(p.ydpi);
            out->measured =
                QStringLiteral("%1 × %2 像素，%3，%4，%5").arg(uw).arg(uh).arg(dpi, colour, orientation(uw, uh));
            if (p.IsRotate != 0)
                out->measured += QStringLiteral("（按拍摄方向转%1°）").arg(p.IsRotate);
        }
        return true;
    }

    // Every page of a sub-order judged against `sku`, as the matching checks them.
    QList<CheckFindings::Page> pages(const subOrderImages &sub, const skuMess &sku) const
    {
        QList<CheckFindings::Page> found;
        CheckFindings::Page finding;
        const PageRule cover{&sku.cover, false, false, QStringLiteral("封面")};
        for (const imgMess &p : sub.coverImages) {
            if (page(p, cover, &finding))
                found << finding;
        }
        if (sub.innerImages.isEmpty()) {
            const PageRule single{&sku.other, false, true, QStringLiteral("单页")};
            for (const imgMess &p : sub.singleImages) {
                if (page(p, single, &finding))
                    found << finding;
            }
            return found;
        }
        const bool singlePages = sku.otherPageType == QLatin1String("SINGLE");
        for (int i = 0; i < sub.innerImages.size(); ++i) {
            const bool edge = sku.specialLayout && !singlePages && (i == 0 || i == sub.innerImages.size() - 1);
            const PageRule inner{&sku.text, edge, singlePages,
                                 edge ? (i == 0 ? QStringLiteral("首页（半页宽）") : QStringLiteral("尾页（半页宽）"))
                                      : QStringLiteral("内页")};
            if (page(sub.innerImages.at(i), inner, &finding))
                found << finding;
        }
        return found;
    }

private:
    const spuMess &m_spu;
};

qint32 pageCountOf(const subOrderImages &sub, const skuMess &sku)
{
    if (sub.innerImages.isEmpty())
        return qint32(sub.singleImages.size());
    return qint32(sub.innerImages.size()) + (sku.isBase ? qint32(sub.coverImages.size()) : 0);
}

// The SKU a failed sub-order is explained against: one its cover and page
// counts fit, else one its cover count fits, else the first left.
const skuMess *explainingSku(const subOrderImages &sub, const skuGroupMess &group, const QSet<qint32> &taken)
{
    const skuMess *coverFits = nullptr;
    const skuMess *first = nullptr;
    for (const skuMess &sku : group.skus) {
        if (taken.contains(sku.id))
            continue;
        if (!first)
            first = &sku;
        if (sku.coverPage != sub.coverImages.size())
            continue;
        if (sku.pageCounts().contains(pageCountOf(sub, sku)))
            return &sku;
        if (!coverFits)
            coverFits = &sku;
    }
    if (coverFits)
        return coverFits;
    return first ? first : (group.skus.isEmpty() ? nullptr : &group.skus.first());
}

// Allowed page counts in words: "20–40 P，每档 2 P" or "20、24、30 P".
QString countsText(QList<qint32> counts)
{
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    if (counts.isEmpty())
        return QStringLiteral("无");
    if (counts.size() == 1)
        return QStringLiteral("%1 P").arg(counts.first());
    const qint32 step = counts.at(1) - counts.at(0);
    bool even = true;
    for (int i = 1; i < counts.size(); ++i)
        even = even && counts.at(i) - counts.at(i - 1) == step;
    if (even && counts.size() > 2)
        return QStringLiteral("%1–%2 P，每档 %3 P").arg(counts.first()).arg(counts.last()).arg(step);
    QStringList words;
    for (qint32 c : counts)
        words << QString::number(c);
    return words.join(QStringLiteral("、")) + QStringLiteral(" P");
}

// The count lines of a sub-order whose cover or page count fits no SKU.
QStringList countLines(const subOrderImages &sub, const skuGroupMess &group, bool named)
{
    const qint32 covers = qint32(sub.coverImages.size());
    QList<qint32> coverCounts;
    QList<qint32> pageCounts;
    qint32 pages = 0;
    for (const skuMess &sku : group.skus) {
        coverCounts << sku.coverPage;
        if (sku.coverPage == covers) {
            pageCounts << sku.pageCounts();
            pages = pageCountOf(sub, sku);
        }
    }
    const QString who = named ? sub.name + QStringLiteral("：") : QString();
    if (pageCounts.isEmpty()) {
        std::sort(coverCounts.begin(), coverCounts.end());
        coverCounts.erase(std::unique(coverCounts.begin(), coverCounts.end()), coverCounts.end());
        QStringList allowed;
        for (qint32 c : coverCounts)
            allowed << QString::number(c);
        QString line =
            QStringLiteral("%1封面有 %2 张，这个产品需要 %3 张").arg(who).arg(covers).arg(allowed.join("或"));
        if (coverCounts.size() == 1 && coverCounts.first() > covers)
            line += QStringLiteral("。封面缺少%1张（文件名含“封面”的图片才算封面）").arg(coverCounts.first() - covers);
        else if (coverCounts.size() == 1 && coverCounts.first() < covers)
            line += QStringLiteral("。封面多了%1张").arg(covers - coverCounts.first());
        return {line};
    }
    if (pageCounts.contains(pages))
        return {};
    std::sort(pageCounts.begin(), pageCounts.end());
    QString line = QStringLiteral("%1有 %2 P，允许 %3").arg(who).arg(pages).arg(countsText(pageCounts));
    const auto above = std::upper_bound(pageCounts.cbegin(), pageCounts.cend(), pages);
    QStringList ways;
    if (above != pageCounts.cend())
        ways << QStringLiteral("再加%1P").arg(*above - pages);
    if (above != pageCounts.cbegin())
        ways << QStringLiteral("减少%1P").arg(pages - *(above - 1));
    return {line + QStringLiteral("。") + ways.join(QStringLiteral("，或"))};
}

// The files a sub-order's folder holds under `baseName`, for pages refused by name.
QString fileNamed(const QString &folder, const QString &baseName)
{
    const QDir dir(folder);
    for (const QString &name : SystemLeftovers::entries(dir, QDir::Files)) {
        if (QFileInfo(name).completeBaseName() == baseName)
            return dir.filePath(name);
    }
    return QString();
}

QString folderOf(const groupProductImages &order, const subOrderImages &sub, const spuMess &spu)
{
    const QFileInfo entry(order.path);
    if (!entry.isDir())
        return entry.absolutePath();
    return spu.isSeries ? QDir(order.path).filePath(sub.name) : order.path;
}

int entryCount(const QString &orderPath)
{
    return int(SystemLeftovers::entries(QDir(orderPath), QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot).size());
}

CheckFindings::FailedOrder explain(const spuMess &spu, const groupProductImages &order, const skuGroupMess &group)
{
    const Judge judge(spu);
    CheckFindings::FailedOrder out;
    out.name = order.name;
    out.state = order.matchStateText();
    if (order.message.contains(CheckTexts::seriesCount)) {
        QStringList members;
        for (const skuMess &sku : group.skus)
            members << (sku.skuFrontName.isEmpty() ? QString::number(sku.id) : sku.skuFrontName);
        out.counts << QStringLiteral("套系里有 %1 个产品，这个套系需要 %2 个：%3")
                          .arg(entryCount(order.path))
                          .arg(group.skus.size())
                          .arg(members.join(QStringLiteral("、")));
    } else if (order.message.contains(CheckTexts::seriesStructure)) {
        out.counts << QStringLiteral("订单文件夹是空的，里面需要每个产品一个文件夹");
    } else if (!order.message.isEmpty()) {
        out.counts << order.message;
    }

    QSet<qint32> taken;
    for (auto it = order.matched.cbegin(); it != order.matched.cend(); ++it)
        taken.insert(it.key());
    for (const subOrderImages &sub : order.failed + order.notTried) {
        const skuMess *sku = explainingSku(sub, group, taken);
        QList<CheckFindings::Page> pages;
        if (sku) {
            taken.insert(sku->id);
            pages = judge.pages(sub, *sku);
        }
        QSet<QString> explained;
        for (const CheckFindings::Page &p : pages)
            explained.insert(QFileInfo(p.file).completeBaseName());
        for (const QString &e : sub.errors) {
            if (e == CheckTexts::pageCount || e == CheckTexts::coverCount || e == CheckTexts::pageSize
                || e == CheckTexts::coverSize || e == CheckTexts::firstLastSize || e == CheckTexts::resolution)
                continue;
            QString base;
            for (const QString &prefix : {CheckTexts::wrongFormat, CheckTexts::truncated, CheckTexts::notRgb}) {
                if (e.startsWith(prefix))
                    base = e.mid(prefix.size());
            }
            if (base.isEmpty()) {
                out.counts << (sub.name.isEmpty() || !order.message.isEmpty() ? e
                                                                              : sub.name + QStringLiteral("：") + e);
                continue;
            }
            if (explained.contains(base))
                continue;
            // A file refused by its name never became a page record.
            imgMess refused;
            refused.localPath = fileNamed(folderOf(order, sub, spu), base);
            refused.name = base;
            refused.errors << e;
            CheckFindings::Page finding;
            if (judge.page(refused, PageRule{nullptr, false, false, QStringLiteral("页面")}, &finding)) {
                if (refused.localPath.isEmpty())
                    finding.file = base;
                pages << finding;
                explained.insert(base);
            }
        }
        if (sku)
            out.counts << countLines(sub, group, !sub.name.isEmpty() && sub.name != order.name);
        // Pages that are wrong in the very same way (a whole album exported at
        // the wrong size) are one finding: one thumbnail, every file named.
        for (const CheckFindings::Page &p : std::as_const(pages)) {
            auto same = std::find_if(out.pages.begin(), out.pages.end(), [&p](const CheckFindings::Page &q) {
                return q.measured == p.measured && q.required == p.required && q.fix == p.fix;
            });
            if (same == out.pages.end())
                out.pages << p;
            else
                same->alike << p.file;
        }
    }
    if (out.pages.isEmpty() && out.counts.isEmpty())
        out.counts << out.state;
    return out;
}

QList<skuGroupMess> candidatesOf(const spuMess &spu)
{
    if (!spu.candidateGroups.isEmpty())
        return spu.candidateGroups;
    if (spu.currentGroup.id != 0)
        return {spu.currentGroup};
    return spu.groupsById.values();
}

} // namespace

QStringList CheckFindings::rulesOf(const spuMess &spu, const skuGroupMess &group)
{
    QStringList lines;
    const auto geometry = [&](const QString &label, const composeSizeMess &cs, bool half) {
        if (cs.isEmpty())
            return;
        const float width = half ? cs.totalWidth / 2.0f : cs.totalWidth;
        lines << QStringLiteral("%1：%2 × %3 mm（含出血），%4")
                     .arg(label, mm(width), mm(cs.totalHeight))
                     .arg(bothWindows(spu, PageRule{&cs, half, false, label}));
    };
    for (const skuMess &sku : group.skus) {
        const QString name = sku.skuFrontName.isEmpty() ? group.skuGroupName : sku.skuFrontName;
        const bool onePage = sku.pageCounts() == QList<qint32>{1} && sku.cover.isEmpty() && sku.coverPage == 0;
        QString counts = onePage ? QStringLiteral("%1：每单 1 张").arg(name)
                                 : QStringLiteral("%1：P数 %2").arg(name, countsText(sku.pageCounts()));
        if (!sku.cover.isEmpty() || sku.coverPage > 0)
            counts += QStringLiteral("，封面 %1 张").arg(sku.coverPage);
        lines << counts;
        geometry(QStringLiteral("封面"), sku.cover, false);
        if (sku.specialLayout)
            geometry(QStringLiteral("首页和尾页"), sku.text, true);
        geometry(sku.otherPageType == QLatin1String("SINGLE") ? QStringLiteral("内页（单页）") : QStringLiteral("内页"),
                 sku.text, false);
        geometry(QStringLiteral("单页"), sku.other, false);
    }
    lines << QStringLiteral("色彩模式 RGB，分辨率 %1 或 %2 dpi，JPG 格式").arg(dpiOf(spu, false)).arg(dpiOf(spu, true));
    lines.removeDuplicates();
    return lines;
}

CheckFindings CheckFindings::build(const spuMess &spu, const QList<const groupProductImages *> &orders,
                                   const QString &account, const QString &className)
{
    CheckFindings f;
    f.account = account;
    f.className = className;
    f.product = spu.spuName;
    f.date = QDate::currentDate();
    f.checked = int(orders.size());
    const QList<skuGroupMess> candidates = candidatesOf(spu);
    QList<qint32> shown;
    for (const groupProductImages *order : orders) {
        if (order->isMatched()) {
            f.matched << MatchedOrder{order->name, order->productName, order->pageCount, order->price};
            f.totalPrice += double(order->price);
            if (!shown.contains(order->skuGroupId))
                shown << order->skuGroupId;
            continue;
        }
        // The group that leaves the least to fix, when several were tried.
        FailedOrder best;
        qint32 bestGroup = 0;
        int least = -1;
        for (const skuGroupMess &group : candidates) {
            FailedOrder e = explain(spu, *order, group);
            const int weight = int(e.pages.size() + e.counts.size());
            if (least < 0 || weight < least) {
                least = weight;
                best = e;
                bestGroup = group.id;
            }
        }
        if (least < 0) {
            best.name = order->name;
            best.state = order->matchStateText();
            best.counts << best.state;
        } else if (!shown.contains(bestGroup)) {
            shown << bestGroup;
        }
        f.failed << best;
    }
    if (shown.isEmpty() && !candidates.isEmpty())
        shown << candidates.first().id;
    for (const skuGroupMess &group : candidates) {
        if (!shown.contains(group.id))
            continue;
        f.groupNames << group.skuGroupName;
        if (shown.size() > 1)
            f.rules << QStringLiteral("【%1】").arg(group.skuGroupName);
        f.rules << rulesOf(spu, group);
    }
    return f;
}
