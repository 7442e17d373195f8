#include "orders/listlayout.h"

#include <algorithm>
#include <cmath>

#include "orders/producttablewidget.h"

namespace {

using Column = ListLayout::Column;

// The check box column.
const Column kTick{QString(), 39, 0.0};

ListLayout newOrderList(bool album)
{
    ListLayout l;
    // The name, the SKU group and the row buttons get two units each, so
    // "替换" and "删除" are never cut off.
    l.columns = {kTick,
                 {QStringLiteral("客户名称"), 0, 2},
                 {QStringLiteral("产品名称"), 0, 1},
                 {QStringLiteral("sku组名称"), 0, 2},
                 {QStringLiteral("大小"), 0, 1},
                 {QStringLiteral("匹配进度"), 0, 1}};
    if (album)
        l.columns << Column{QStringLiteral("匹数"), 0, 1};
    l.columns << Column{QStringLiteral("价格"), 0, 1} << Column{QStringLiteral("操作"), 0, 2};
    l.margin = 8;
    l.checkedTotal = true;
    l.addOrder = true;
    l.uploadText = QStringLiteral("提交");
    l.deleteText = QStringLiteral("删除");
    return l;
}

ListLayout uploadingList()
{
    ListLayout l;
    l.columns = {{QStringLiteral("文件夹名称"), 0, 1},  {QStringLiteral("产品名称"), 0, 1},
                 {QStringLiteral("sku组名称"), 0, 1.5}, {QStringLiteral("数量"), 0, 1},
                 {QStringLiteral("大小"), 0, 1},        {QStringLiteral("上传进度条"), 0, 2},
                 {QStringLiteral("操作"), 0, 1.6}};
    l.bar = false;
    return l;
}

ListLayout uploadedList()
{
    ListLayout l;
    l.columns = {kTick,
                 {QStringLiteral("文件夹名称"), 0, 1},
                 {QStringLiteral("产品名称"), 0, 1},
                 {QStringLiteral("sku组名称"), 0, 2},
                 {QStringLiteral("数量"), 0, 1},
                 {QStringLiteral("大小"), 0, 1},
                 {QStringLiteral("上传状态"), 0, 1}};
    l.margin = 8;
    l.uploadText = QStringLiteral("去购物车结算");
    l.deleteText = QStringLiteral("删除");
    return l;
}

ListLayout cartList()
{
    ListLayout l;
    l.columns = {{QStringLiteral("文件夹名称"), 9, 1}, {QStringLiteral("产品名称"), 0, 1},
                 {QStringLiteral("sku组名称"), 0, 2},  {QStringLiteral("数量"), 0, 1},
                 {QStringLiteral("加购日期"), 0, 1},   {QStringLiteral("大小"), 0, 1},
                 {QStringLiteral("上传状态"), 0, 1}};
    l.selectAll = false;
    l.cartCount = true;
    l.upload = false;
    l.deleteText = QStringLiteral("清除所有记录");
    return l;
}

} // namespace

ListLayout ListLayout::of(int listType, bool album)
{
    switch (listType) {
    case productTableWidget::NewOrder:
        return newOrderList(album);
    case productTableWidget::Uploading:
        return uploadingList();
    case productTableWidget::Uploaded:
        return uploadedList();
    default:
        return cartList();
    }
}

QStringList ListLayout::headers() const
{
    QStringList labels;
    for (const Column &c : columns)
        labels << c.header;
    return labels;
}

QList<int> ListLayout::widths(int width) const
{
    int fixed = margin;
    double units = 0.0;
    for (const Column &c : columns) {
        fixed += c.fixed;
        units += c.units;
    }
    const double unit = units > 0.0 ? std::max(0, width - fixed) / units : 0.0;
    QList<int> result;
    for (const Column &c : columns)
        result << c.fixed + int(std::trunc(c.units * unit));
    return result;
}
