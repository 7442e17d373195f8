#include "report/checkreport.h"

#include <QBuffer>
#include <QFont>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QSaveFile>

#include "report/pagepreview.h"

namespace {

constexpr int kDpi = 300;
constexpr qreal kMargin = 15.0; // mm
const QColor kInk(40, 40, 40);
const QColor kMuted(110, 110, 110);
const QColor kFailed(190, 30, 30);
const QColor kPassed(40, 130, 80);
const QColor kRule(210, 210, 210);

qreal mmToDots(qreal mm)
{
    return mm * kDpi / 25.4;
}

QFont font(qreal points, bool bold = false)
{
    QFont f;
    // Latin from a Latin face (a CJK face shapes a Latin-only run with glyphs
    // a PDF reader cannot map back to text), Chinese from a CJK face present
    // on every system the client runs on. Qt embeds what it uses.
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                   QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                   QStringLiteral("Microsoft YaHei"), QStringLiteral("PingFang SC"), QStringLiteral("SimHei"),
                   QStringLiteral("SimSun")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// A top-to-bottom flow of blocks over as many pages as they take.
class Flow
{
public:
    Flow(QPdfWriter &writer, QPainter &painter)
        : m_writer(writer)
        , m_painter(painter)
        , m_width(writer.pageLayout().paintRectPixels(kDpi).width())
        , m_bottom(writer.pageLayout().paintRectPixels(kDpi).height() - mmToDots(8))
    {
        footer();
    }

    qreal width() const { return m_width; }
    qreal y() const { return m_y; }
    int page() const { return m_page; }
    void skip(qreal dots) { m_y += dots; }

    // Starts a new page unless `height` still fits on this one.
    void room(qreal height)
    {
        if (m_y + height <= m_bottom || m_y == 0)
            return;
        m_writer.newPage();
        ++m_page;
        m_y = 0;
        footer();
    }

    qreal height(const QString &text, const QFont &f, qreal width) const
    {
        m_painter.setFont(f);
        return m_painter.boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height();
    }

    // Draws wrapped text at the flow's line, `indent` from the left; returns its height.
    qreal text(const QString &text, const QFont &f, const QColor &colour, qreal indent = 0, qreal top = -1)
    {
        const qreal w = m_width - indent;
        const qreal h = height(text, f, w);
        if (top < 0) {
            room(h);
            top = m_y;
            m_y += h;
        }
        m_painter.setFont(f);
        m_painter.setPen(colour);
        m_painter.drawText(QRectF(indent, top, w, h), Qt::TextWordWrap, text);
        return h;
    }

    void line(const QColor &colour)
    {
        m_painter.setPen(QPen(colour, mmToDots(0.2)));
        m_painter.drawLine(QPointF(0, m_y), QPointF(m_width, m_y));
    }

private:
    void footer()
    {
        m_painter.setFont(font(7.5));
        m_painter.setPen(kMuted);
        m_painter.drawText(QRectF(0, m_bottom + mmToDots(3), m_width, mmToDots(5)), Qt::AlignRight,
                           QStringLiteral("第 %1 页").arg(m_page + 1));
    }

    QPdfWriter &m_writer;
    QPainter &m_painter;
    const qreal m_width;
    const qreal m_bottom;
    qreal m_y = 0;
    int m_page = 0;
};

// Qt maps each embedded glyph back to the lowest code point that shows it,
// and a CJK face shows a radical (U+2E80–U+2FDF) and its ideograph with one
// glyph, so text copied from the report would read "⻚" for "页". The
// ideograph each radical stands for, as the CJK face in use draws them.
QHash<QByteArray, QByteArray> ideographsForRadicals()
{
    const QRawFont raw = QRawFont::fromFont(font(10), QFontDatabase::SimplifiedChinese);
    const auto glyphsOf = [&raw](ushort first, ushort last) {
        QString text;
        for (ushort c = first; c <= last; ++c)
            text += QChar(c);
        return raw.glyphIndexesForString(text);
    };
    QHash<quint32, ushort> byGlyph;
    const QList<quint32> glyphs = glyphsOf(0x4E00, 0x9FFF);
    for (int i = 0; i < glyphs.size(); ++i) {
        if (glyphs.at(i) != 0 && !byGlyph.contains(glyphs.at(i)))
            byGlyph.insert(glyphs.at(i), ushort(0x4E00 + i));
    }
    QHash<QByteArray, QByteArray> map;
    const QList<quint32> radicalGlyphs = glyphsOf(0x2E80, 0x2FDF);
    for (int i = 0; i < radicalGlyphs.size(); ++i) {
        if (radicalGlyphs.at(i) != 0 && byGlyph.contains(radicalGlyphs.at(i))) {
            map.insert(QByteArray::number(0x2E80 + i, 16).toUpper(),
                       QByteArray::number(byGlyph.value(radicalGlyphs.at(i)), 16).toUpper());
        }
    }
    return map;
}

// Rewrites the code points of the ToUnicode maps in place: every edit keeps
// its length, so no offset in the file moves.
void unifyRadicals(QByteArray &pdf)
{
    static const QHash<QByteArray, QByteArray> map = ideographsForRadicals();
    if (map.isEmpty())
        return;
    static const QRegularExpression reference(QStringLiteral("/ToUnicode (\\d+) 0 R"));
    QRegularExpressionMatchIterator it = reference.globalMatch(QString::fromLatin1(pdf));
    while (it.hasNext()) {
        const QByteArray object = "\n" + it.next().captured(1).toLatin1() + " 0 obj";
        const qsizetype start = pdf.indexOf(object);
        const qsizetype begin = start < 0 ? -1 : pdf.indexOf("stream\n", start);
        const qsizetype end = begin < 0 ? -1 : pdf.indexOf("endstream", begin);
        if (end < 0)
            continue;
        // Code points follow the source codes: the third token on with a
        // range, the second with a single character.
        qsizetype line = begin;
        while (line < end) {
            qsizetype next = pdf.indexOf('\n', line + 1);
            if (next < 0 || next > end)
                next = end;
            int token = 0;
            const bool range = pdf.mid(line, next - line).count('<') > 2 || pdf.mid(line, next - line).contains('[');
            for (qsizetype i = line; i + 5 < next; ++i) {
                if (pdf.at(i) != '<' || pdf.at(i + 5) != '>')
                    continue;
                ++token;
                if (token <= (range ? 2 : 1))
                    continue;
                const QByteArray code = pdf.mid(i + 1, 4).toUpper();
                const auto found = map.constFind(code);
                if (found != map.cend())
                    pdf.replace(i + 1, 4, found.value());
            }
            line = next;
        }
    }
}

QString money(double value)
{
    return QStringLiteral("¥%1").arg(value, 0, 'f', 2);
}

} // namespace

CheckReport::CheckReport(const CheckFindings &findings)
    : m_findings(findings)
{
}

QString CheckReport::defaultFileName(const QString &className, const QDate &date)
{
    QString name = className;
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]")), QStringLiteral("_"));
    if (name.trimmed().isEmpty())
        name = QStringLiteral("班级");
    return QStringLiteral("%1-检查报告-%2.pdf").arg(name, date.toString(QStringLiteral("yyyyMMdd")));
}

bool CheckReport::write(const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("无法写入文件：%1（%2）").arg(path, file.errorString());
        return false;
    }
    m_thumbnails.clear();
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("%1 检查报告").arg(m_findings.className));
        writer.setCreator(QStringLiteral("orderdesk"));
        const QRectF full = writer.pageLayout().fullRectPixels(kDpi);
        const QPointF origin = writer.pageLayout().paintRectPixels(kDpi).topLeft();
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        Flow flow(writer, painter);
        const CheckFindings &f = m_findings;
        const qreal gap = mmToDots(2);

        // Header.
        flow.text(QStringLiteral("图片检查报告"), font(18, true), kInk);
        flow.skip(gap);
        const QString group = f.groupNames.join(QStringLiteral("、"));
        flow.text(QStringLiteral("班级：%1").arg(f.className), font(11, true), kInk);
        flow.text(QStringLiteral("产品：%1%2")
                      .arg(f.product, group.isEmpty() ? QString() : QStringLiteral("（%1）").arg(group)),
                  font(10), kInk);
        flow.text(QStringLiteral("门店账号：%1    日期：%2")
                      .arg(f.account.isEmpty() ? QStringLiteral("—") : f.account,
                           f.date.toString(QStringLiteral("yyyy-MM-dd"))),
                  font(10), kInk);
        flow.skip(gap);
        flow.text(QStringLiteral("产品要求"), font(12, true), kInk);
        for (const QString &rule : f.rules)
            flow.text(QStringLiteral("· ") + rule, font(9.5), kInk, mmToDots(2));
        flow.skip(gap);

        // Summary.
        flow.room(mmToDots(20));
        flow.line(kRule);
        flow.skip(gap);
        flow.text(QStringLiteral("检查 %1 单：匹配成功 %2 单，匹配失败 %3 单")
                      .arg(f.checked)
                      .arg(f.matched.size())
                      .arg(f.failed.size()),
                  font(12, true), f.failed.isEmpty() ? kPassed : kFailed);
        flow.text(QStringLiteral("匹配成功的订单合计 %1").arg(money(f.totalPrice)), font(10), kInk);
        flow.skip(gap);

        // Failed orders, page by page.
        // Sizes a phone shows legibly with the page at its full width.
        const QFont kFileFont = font(10.5, true);
        const QFont kBodyFont = font(10);
        const QFont kFixFont = font(10.5, true);
        const QSizeF box(mmToDots(42), mmToDots(31.5));
        const qreal textLeft = box.width() + mmToDots(5);
        int number = 0;
        for (const CheckFindings::FailedOrder &order : f.failed) {
            const QString head = QStringLiteral("%1. %2 — %3").arg(++number).arg(order.name, order.state);
            // The heading stays with what follows it.
            flow.room(flow.height(head, font(11, true), flow.width()) + box.height() + gap * 2);
            flow.skip(gap);
            flow.line(kRule);
            flow.skip(gap);
            flow.text(head, font(11, true), kFailed);
            for (const QString &count : order.counts)
                flow.text(QStringLiteral("· ") + count, kBodyFont, kInk, mmToDots(2));
            for (const CheckFindings::Page &page : order.pages) {
                const qreal w = flow.width() - textLeft;
                const QString files = page.alike.isEmpty()
                                          ? page.file
                                          : QStringLiteral("%1 等 %2 张").arg(page.file).arg(page.alike.size() + 1);
                const QString others = page.alike.isEmpty()
                                           ? QString()
                                           : QStringLiteral("同样的页面：") + page.alike.join(QStringLiteral("、"));
                const QString what = QStringLiteral("现在：") + page.measured;
                const QString must = QStringLiteral("要求：") + page.required;
                const QString fix = QStringLiteral("修改：") + page.fix;
                const qreal textHeight = flow.height(files, kFileFont, w) + flow.height(what, kBodyFont, w)
                                         + flow.height(must, kBodyFont, w) + flow.height(fix, kFixFont, w)
                                         + (others.isEmpty() ? 0 : flow.height(others, kBodyFont, w));
                const qreal rowHeight = qMax(box.height(), textHeight);
                flow.skip(gap);
                flow.room(rowHeight);
                const qreal top = flow.y();
                const QRectF area(QPointF(0, top), box);
                const QImage thumb =
                    page.path.isEmpty() ? QImage() : PagePreview::thumbnail(page.path, box.toSize() / 2, page.rotation);
                painter.fillRect(area, QColor(245, 245, 245));
                if (thumb.isNull()) {
                    painter.setFont(font(8));
                    painter.setPen(kMuted);
                    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("无法预览"));
                } else {
                    const QSizeF drawn = QSizeF(thumb.size()).scaled(box, Qt::KeepAspectRatio);
                    const QRectF target(area.center() - QPointF(drawn.width() / 2, drawn.height() / 2), drawn);
                    painter.drawImage(target, thumb);
                }
                painter.setPen(QPen(kRule, mmToDots(0.2)));
                painter.drawRect(area);
                const QRectF onPage = area.translated(origin);
                m_thumbnails << Placed{flow.page(),
                                       QRectF(onPage.x() / full.width(), onPage.y() / full.height(),
                                              onPage.width() / full.width(), onPage.height() / full.height()),
                                       !thumb.isNull()};
                qreal y = top;
                y += flow.text(files, kFileFont, kInk, textLeft, y);
                y += flow.text(what, kBodyFont, kInk, textLeft, y);
                y += flow.text(must, kBodyFont, kMuted, textLeft, y);
                y += flow.text(fix, kFixFont, kFailed, textLeft, y);
                if (!others.isEmpty())
                    flow.text(others, kBodyFont, kMuted, textLeft, y);
                flow.skip(rowHeight);
            }
        }

        // Matched orders.
        if (!f.matched.isEmpty()) {
            flow.skip(gap * 2);
            flow.room(mmToDots(25));
            flow.line(kRule);
            flow.skip(gap);
            flow.text(QStringLiteral("匹配成功的订单"), font(12, true), kPassed);
            const QFont rowFont = font(10);
            const qreal rowHeight = flow.height(QStringLiteral("名"), rowFont, flow.width()) * 1.15;
            const qreal w = flow.width();
            const auto row = [&](const QString &name, const QString &group, const QString &pages, const QString &price,
                                 const QColor &colour) {
                flow.room(rowHeight);
                const qreal y = flow.y();
                painter.setFont(rowFont);
                painter.setPen(colour);
                const auto cell = [&](qreal x, qreal width, const QString &text, Qt::Alignment align) {
                    painter.drawText(QRectF(x, y, width, rowHeight), align | Qt::AlignVCenter,
                                     painter.fontMetrics().elidedText(text, Qt::ElideMiddle, int(width)));
                };
                cell(0, w * 0.45, name, Qt::AlignLeft);
                cell(w * 0.47, w * 0.28, group, Qt::AlignLeft);
                cell(w * 0.75, w * 0.1, pages, Qt::AlignRight);
                cell(w * 0.85, w * 0.15, price, Qt::AlignRight);
                flow.skip(rowHeight);
            };
            row(QStringLiteral("订单"), QStringLiteral("规格"), QStringLiteral("P数"), QStringLiteral("价格"), kMuted);
            for (const CheckFindings::MatchedOrder &m : f.matched)
                row(m.name, m.group, QString::number(m.pageCount), money(double(m.price)), kInk);
        }
        m_pages = flow.page() + 1;
        if (!painter.end()) {
            *error = QStringLiteral("无法生成PDF：%1").arg(path);
            file.cancelWriting();
            return false;
        }
    }
    unifyRadicals(pdf);
    if (file.write(pdf) != pdf.size() || !file.commit()) {
        *error = QStringLiteral("无法写入文件：%1（%2）").arg(path, file.errorString());
        return false;
    }
    return true;
}
