#include <memory>

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include "classlayout.h"
#include "report/checkreport.h"
#include "support/catalogue.h"
#include "support/classfolder.h"
#include "support/files.h"

namespace {

using namespace classfolder;

// An album order of the 8-inch product: a cover and `pages` inner pages, plus `more`.
QJsonObject album(const QString &name, int pages, const QJsonArray &more = QJsonArray())
{
    QJsonArray entries{cover(), spreads(pages)};
    for (const QJsonValue &e : more)
        entries.append(e);
    return folder(name, entries);
}

// Text as a reader copies it, without white space and with full-width
// punctuation folded, so wrapped lines still match.
QString plain(const QString &text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC);
    folded.remove(QRegularExpression(QStringLiteral("\\s")));
    return folded;
}

// Share of the pixels inside `box` that stand out from the box's grey.
double inked(const QImage &page, const QRectF &box)
{
    const QRect r = QRectF(box.x() * page.width(), box.y() * page.height(), box.width() * page.width(),
                           box.height() * page.height())
                        .toRect()
                        .adjusted(3, 3, -3, -3);
    int inkedPixels = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = page.pixelColor(x, y);
            inkedPixels += qAbs(c.red() - 245) + qAbs(c.green() - 245) + qAbs(c.blue() - 245) > 60 ? 1 : 0;
        }
    }
    return double(inkedPixels) / double(r.width() * r.height());
}

} // namespace

// A generated class with every fault the checks know, checked as the
// new-order page does, written as the photographer's report and read back
// with poppler: every failed order and page with its values, window and fix;
// every page renders and every thumbnail shows its picture.
class TstCheckReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_catalogue.load());
        QVERIFY2(testfiles::run(QStringLiteral("pdftotext"), {QStringLiteral("-v")}) == 0, "poppler-utils missing");
        const QJsonObject albums = folder(
            "三年二班",
            {album("01 张三", 12), album("02 李四", 14), album("03 王五", 11),
             folder("04 赵六", {image("封面.jpg", 446, 236, {{"colorMode", "4"}}), spreads(12)}),
             album("05 孙七", 11, {image("12.jpg", 406, 206, {{"resolution", "72/1"}, {"exifThumbnail", true}})}),
             folder("06 周八", {cover("封面1.jpg"), cover("封面2.jpg"), spreads(12)}),
             folder("07 吴九", {cover(), spreads(12, 506, 256)}), album("08 郑十", 11, {image("12.jpg", 400, 206)}),
             album("09 钱一", 12), album("10 陈二", 12), album("11 林三", 12), folder("12 黄四", {spreads(12)}),
             folder("13 周五", {image("封面.jpg", 236, 446), spreads(12)}),
             album("14 吴六", 11, {image("12.jpg", 400, 206, {{"resolution", "72/1"}})}),
             album("15 何八", 11, {image("12.jpg", 406, 206, {{"resolution", "72/1"}})})});
        QVERIFY(ClassLayout::build(albums, m_dir.path()) > 0);
        const QDir classDir(m_dir.filePath(QStringLiteral("三年二班")));
        // A PNG under a JPEG's name, a PNG under its own, a JPEG cut off mid-scan.
        QVERIFY(testfiles::write(classDir.filePath(QStringLiteral("09 钱一/5.jpg")), classfolder::picture("PNG")));
        QVERIFY(testfiles::write(classDir.filePath(QStringLiteral("10 陈二/13.png")), classfolder::picture("PNG")));
        const QString cut = classDir.filePath(QStringLiteral("11 林三/3.jpg"));
        const QByteArray whole = testfiles::read(cut);
        QVERIFY(testfiles::write(cut, whole.left(whole.size() * 2 / 3)));
        // A frame header that claims 30000 x 30000 pixels: no preview is decoded from it.
        const QString huge = classDir.filePath(QStringLiteral("15 何八/12.jpg"));
        QByteArray bytes = testfiles::read(huge);
        const int frame = int(bytes.indexOf("\xFF\xC0"));
        QVERIFY(frame > 0);
        bytes.replace(frame + 5, 4, QByteArray::fromHex("75307530"));
        QVERIFY(testfiles::write(huge, bytes));

        QVERIFY(ClassLayout::build(folder("毕业季", {folder("01 张三", {album("01 相册", 10)})}), m_dir.path()) > 0);
        QVERIFY(ClassLayout::build(folder("纪念册班", {album("01 郑七", 10)}), m_dir.path()) > 0);

        m_albums = report(m_catalogue.productForGroup(1001, 2101), classDir.path(), &m_albumReport);
        m_series = report(m_catalogue.product(1005), m_dir.filePath(QStringLiteral("毕业季")), nullptr);
        m_halfPages =
            report(m_catalogue.productForGroup(1002, 2201), m_dir.filePath(QStringLiteral("纪念册班")), nullptr);
    }

    void everyFailureExplained_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        // Each failed order under its list state, with what was measured, the window and the fix.
        const auto row = [](const char *tag, const QString &text, const QStringList &shown) {
            QTest::newRow(tag) << text << shown;
        };
        const QString inner = QStringLiteral("4790–4801×2428–2438像素(300dpi)");
        row("page count", m_albums, {"03王五—产品P数不对", "有11P,允许10–30P,每档2P。再加1P,或减少1P"});
        row("colour mode", m_albums,
            {"04赵六—色彩模式应为RGB:封面", "封面.jpg", "5268×2787像素,300dpi,CMYK,横向",
             "封面:5262–5273×2782–2793像素(300dpi)", "色彩模式改为RGB(现在是CMYK)"});
        row("resolution", m_albums,
            {"05孙七—分辨率错误", "12.jpg", "4795×2433像素,72dpi", inner, "分辨率改为300dpi,像素尺寸不用改"});
        row("cover count, one too many", m_albums, {"06周八—封皮P数不对", "封面有2张,这个产品需要1张。封面多了1张"});
        row("cover count, one missing", m_albums, {"12黄四—封皮P数不对", "封面有0张,这个产品需要1张。封面缺少1张"});
        row("both sides", m_albums,
            {"07吴九—图片尺寸有误", "1.jpg等12张", "5976×3024像素",
             "图片尺寸需要在4790到4801×2428到2438像素之间,现在是5976×3024",
             "同样的页面:2.jpg、3.jpg、4.jpg、5.jpg、6.jpg、7.jpg、8.jpg、9.jpg、10.jpg、11.jpg、12.jpg"});
        row("width alone", m_albums,
            {"08郑十—图片尺寸有误", "4724×2433像素", "图片宽度需要在4790到4801像素之间,现在是4724"});
        row("PNG named .jpg", m_albums, {"09钱一—图片格式不对:5", "5.jpg", "这是PNG图片,请另存为JPG"});
        row("PNG by name", m_albums, {"10陈二—图片格式不对:13", "13.png", "这是PNG图片,请另存为JPG"});
        row("truncated", m_albums, {"11林三—图片不完整:3", "3.jpg", "文件不完整(可能没有导出或复制完)"});
        row("turned cover", m_albums,
            {"13周五—封面图片尺寸有误", "2787×5268像素,300dpi,RGB,竖向", "图片横竖方向反了,请旋转90°"});
        row("resolution and width", m_albums,
            {"14吴六—分辨率错误", "分辨率改为300dpi,并且图片宽度需要在4790到4801像素之间,现在是4724"});
        const QString half = QStringLiteral("(半页宽):2395–2400×2428–2438像素(300dpi)");
        row("half-width first and last", m_halfPages,
            {"01郑七—首尾页尺寸有误", "1.jpg", "首页" + half, "图片宽度需要在2395到2400像素之间,现在是4795", "10.jpg",
             "尾页" + half});
        row("series count", m_series,
            {"01张三—套系产品数不对", "套系里有1个产品,这个套系需要2个:8寸相册10-20P、7寸摆台"});
        row("header and summary", m_albums,
            {"班级:三年二班", "产品:经典对裱相册", "内页:406×206mm(含出血)," + inner,
             "检查15单:匹配成功2单,匹配失败13单", "匹配成功的订单合计¥360.00"});
        row("matched list", m_albums, {"01张三", "8寸皮质封面12¥176.00", "02李四"});
    }

    void everyFailureExplained()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        for (const QString &piece : shown)
            QVERIFY2(text.contains(plain(piece)), qPrintable(piece + QStringLiteral(" in ") + text));
    }

    void pagesAndThumbnailsRender()
    {
        QVERIFY(m_albumReport);
        const QString prefix = m_dir.filePath(QStringLiteral("render"));
        QCOMPARE(testfiles::run(QStringLiteral("pdftoppm"),
                                {QStringLiteral("-r"), QStringLiteral("40"), QStringLiteral("-png"),
                                 m_dir.filePath(QStringLiteral("albums.pdf")), prefix}),
                 0);
        const QStringList rendered =
            QDir(m_dir.path()).entryList({QStringLiteral("render-*.png")}, QDir::Files, QDir::Name);
        QCOMPARE(rendered.size(), m_albumReport->pageCount());
        QList<QImage> pages;
        for (const QString &name : rendered) {
            pages << QImage(m_dir.filePath(name)).convertToFormat(QImage::Format_RGB32);
            QVERIFY(inked(pages.last(), QRectF(0.05, 0.05, 0.9, 0.9)) > 0.005);
        }
        // Ten findings: colour, resolution, twelve pages wrong alike, one too
        // narrow, two PNGs, the cut one, a turned cover, resolution and width,
        // the page claiming 900 megapixels.
        QCOMPARE(m_albumReport->thumbnails().size(), 10);
        int drawn = 0;
        int red = 0;
        for (const CheckReport::Placed &t : m_albumReport->thumbnails()) {
            const QImage &page = pages.at(t.page);
            const double share = inked(page, t.box);
            QVERIFY2(t.image ? share > 0.4 : share < 0.2, qPrintable(QString::number(share)));
            drawn += t.image ? 1 : 0;
            const QColor c =
                page.pixelColor(int(t.box.center().x() * page.width()), int(t.box.center().y() * page.height()));
            red += c.red() > 200 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
        }
        // The PNGs and the huge page are never decoded; the cut JPEG still shows its upper part.
        QCOMPARE(drawn, 7);
        // The page with an embedded Exif thumbnail shows it (plain red), not its pixels.
        QCOMPARE(red, 1);
    }

private:
    // The report of a class checked against `spu`, as plain text.
    QString report(const spuMess &spu, const QString &classFolder, std::unique_ptr<CheckReport> *kept)
    {
        const QList<groupProductImages> orders =
            classfolder::checkedClass(classFolder, spu, StoreTerms{0, QStringLiteral("PHOTO")});
        QList<const groupProductImages *> checked;
        for (const groupProductImages &order : orders)
            checked << &order;
        const QString name = QFileInfo(classFolder).fileName();
        auto written = std::make_unique<CheckReport>(CheckFindings::build(spu, checked, QString(), name));
        const QString pdf = m_dir.filePath(kept ? QStringLiteral("albums.pdf") : name + QStringLiteral(".pdf"));
        QString error;
        if (!written->write(pdf, &error)) {
            qWarning() << error;
            return QString();
        }
        QByteArray text;
        if (testfiles::run(QStringLiteral("pdftotext"),
                           {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")}, &text)
            != 0)
            return QString();
        // A CJK face draws a radical and its ideograph with one glyph; copied
        // text must give the ideograph ("页", not "⻚").
        const QString copied = QString::fromUtf8(text);
        for (const QChar c : copied) {
            if (c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF) {
                qWarning() << "a radical in the copied text:" << c;
                return QString();
            }
        }
        if (kept)
            *kept = std::move(written);
        return plain(copied);
    }

    QTemporaryDir m_dir;
    Catalogue m_catalogue;
    QString m_albums;
    QString m_series;
    QString m_halfPages;
    std::unique_ptr<CheckReport> m_albumReport;
};

QTEST_MAIN(TstCheckReport)
#include "tst_checkreport.moc"
