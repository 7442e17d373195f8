#pragma once

#include <QString>

// The texts the checks leave on a page, a sub-order or an order: the order
// list shows them and the check report explains them, so each is written once.
namespace CheckTexts {

// Page texts; those ending in ':' are followed by the page's base name.
inline const QString wrongFormat = QStringLiteral("图片格式不对:");
inline const QString truncated = QStringLiteral("图片不完整:");
inline const QString notRgb = QStringLiteral("色彩模式应为RGB:");
inline const QString resolution = QStringLiteral("分辨率错误");
// Sub-order texts.
inline const QString pageSize = QStringLiteral("图片尺寸有误");
inline const QString coverSize = QStringLiteral("封面图片尺寸有误");
inline const QString firstLastSize = QStringLiteral("首尾页尺寸有误");
inline const QString pageCount = QStringLiteral("产品P数不对");
inline const QString coverCount = QStringLiteral("封皮P数不对");
// Order texts.
inline const QString seriesCount = QStringLiteral("套系产品数不对");
inline const QString seriesStructure = QStringLiteral("套系层次不对");

} // namespace CheckTexts
