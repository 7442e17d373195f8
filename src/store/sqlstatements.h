#pragma once

#include <QString>

// Every statement the upload pipeline and the order lists run, as fixed
// templates. Values take the places of %1, %2, ... (lowest first), pasted
// between single quotes after sqlEscaped(); IN lists arrive already quoted.
namespace Sql {

inline const QString SQL_INSERT_ORDER = QStringLiteral(
    "INSERT INTO orders(orderNo,name,productName,skuGroupName,timeCreated,orderJson,size,customerId,orderCount,"
    "fileCout,spuID,ifSeries)  VALUES('%1','%2','%3','%4','%5', '%6', '%7', '%8','%9','%10','%11','%12')");

inline const QString SQL_INSERT_SUBORDER =
    QStringLiteral("INSERT INTO subOrders(orderNo,name,timeCreated,parentOrderId,skuID,filesCount,price)  "
                   "VALUES('%1', '%2', '%3', '%4','%5','%6','%7')");

inline const QString SQL_INSERT_IMAGES = QStringLiteral(
    "INSERT INTO images(name,imageName,subOrderId,orderId,skuId,size,IsRotate,sort,type,localPath,imageMess,"
    "specialLayout,specialLayoutWhitePagePosition,BucketType)  VALUES");

inline const QString SQL_INSERT_IMAGE_TUPLE =
    QStringLiteral("('%1','%2/%3','%4','%5','%6','%7','%8','%9','%10','%11','%12','%13','%14','%15')");

inline const QString SQL_INSERT_PRODUCT = QStringLiteral(
    "INSERT OR IGNORE INTO product(productName,skuGroupName,skuPrice,skuID,spuID,skuGroupID,ifSeries,parentID)  "
    "VALUES('%1', '%2', '%3','%4', '%5','%6','%7','%8')");

inline const QString SQL_DELETE_ORDERS = QStringLiteral("DELETE FROM orders WHERE orderNo IN (%1)");
inline const QString SQL_DELETE_SUBORDERS = QStringLiteral("DELETE FROM subOrders WHERE parentOrderId IN (%1)");
inline const QString SQL_DELETE_IMAGES = QStringLiteral("DELETE FROM images WHERE orderId IN (%1)");

inline const QString SQL_SELECT_CART_ORDERS = QStringLiteral(
    "SELECT DISTINCT orderNo, name, spuID,skuGroupName,productName, ifSeries, orderCount, size, fileCout, "
    "uploadedCount, status,orderJson,timeCart FROM orders WHERE orders.customerId = '%1' AND "
    "orders.status='CARTOK' ORDER BY id DESC LIMIT %2");

inline const QString SQL_SELECT_UPLOADED_ORDERS = QStringLiteral(
    "SELECT DISTINCT o.orderNo, o.name, o.spuID,o.skuGroupName,o.productName,o.ifSeries, o.orderCount, o.size, "
    "o.fileCout, o.uploadedCount, o.status,o.orderJson FROM orders o WHERE o.customerId = '%1' AND "
    "o.status='uploaded'AND NOT EXISTS (SELECT 1 FROM images i WHERE i.orderId = o.orderNo AND "
    "i.status != 'uploaded') ORDER BY id DESC LIMIT %2");

inline const QString SQL_SELECT_UPLOADING_ORDERS = QStringLiteral(
    "SELECT DISTINCT orderNo, name, productName, skuGroupName, orderCount, size, fileCout, uploadedCount, "
    "status,orderJson FROM orders WHERE orders.customerId = '%1' AND (status=='newOrder' OR status=='uploading') "
    "ORDER BY id DESC LIMIT %2");

// Images of account %2 stored since %1 (seconds) and those of its unfinished
// orders still to go; then the images other accounts have still to go.
inline const QString SQL_COUNT_QUEUE = QStringLiteral(
    "SELECT count(CASE WHEN status='uploaded' AND mine THEN 1 END), total(CASE WHEN status='uploaded' AND mine "
    "THEN size END), count(CASE WHEN status<>'uploaded' AND mine THEN 1 END), total(CASE WHEN status<>'uploaded' "
    "AND mine THEN size END), count(CASE WHEN status<>'uploaded' AND NOT mine THEN 1 END) FROM (SELECT status, "
    "size, orderId IN (SELECT orderNo FROM orders WHERE customerId='%2') AS mine FROM images WHERE "
    "(status='uploaded' AND uploadDate>=%1) OR (status<>'uploaded' AND orderId IN (SELECT orderNo FROM orders "
    "WHERE status='newOrder' OR status='uploading')))");

inline const QString SQL_SELECT_SUBORDERS = QStringLiteral(
    "SELECT subOrders.skuID,subOrders.orderNo,subOrders.name,subOrders.price,product.skuGroupID,product.spuID,"
    "product.ifSeries,orders.name AS orderName FROM subOrders LEFT JOIN product ON subOrders.skuID = product.skuID "
    "LEFT JOIN orders ON subOrders.parentOrderId=orders.orderNo WHERE parentOrderId IN (%1)");

inline const QString SQL_SELECT_SUBORDER_IMAGES = QStringLiteral("SELECT * FROM images WHERE subOrderId='%1'");

// Only images of account %4's orders: each account's images go out under its
// own credentials. Images held in uploadHolds (a retry time not yet come, or
// waiting for the operator) are left out. A lease is taken back when older than %2 seconds,
// given before the second %3, or dated after now (the clock was put back
// since). An image never leased before and sharing its name with no other
// image cannot be at the store yet (mayBeStored 0).
inline const QString SQL_PICK_IMAGES = QStringLiteral(
    "SELECT id, uploadDate IS NOT NULL OR EXISTS (SELECT 1 FROM images other WHERE "
    "other.imageName=images.imageName AND other.id<>images.id) AS mayBeStored FROM images WHERE "
    "(status='waiting' OR (status='uploading' AND ('%1'-uploadDate>%2 OR uploadDate+0<%3 OR "
    "uploadDate+0>%1))) AND id NOT IN (SELECT "
    "imageId FROM uploadHolds WHERE notBefore IS NULL OR notBefore>'%1') AND orderId IN (SELECT orderNo FROM orders "
    "WHERE customerId='%4') LIMIT %5");
inline const QString SQL_LEASE_IMAGES =
    QStringLiteral("UPDATE images SET status='uploading', uploadDate='%1' WHERE id IN (%2) RETURNING *");

inline const QString SQL_MARK_IMAGE_UPLOADED =
    QStringLiteral("UPDATE images SET status='uploaded',uploadDate='%1',url='%3' WHERE status='uploading' AND id='%2'");

inline const QString SQL_COUNT_UPLOADED_IMAGE = QStringLiteral(
    "UPDATE orders SET uploadedCount = uploadedCount+1,timeFinished='%2',status = CASE WHEN "
    "uploadedCount+1>=fileCout THEN 'uploaded' else 'uploading' END WHERE orderNo = '%1' AND status<>'uploaded'");

inline const QString SQL_SELECT_UPLOADED_COUNTS =
    QStringLiteral("SELECT orderNo, uploadedCount FROM orders WHERE orderNo IN (%1)");

inline const QString SQL_MARK_ORDERS_IN_CART =
    QStringLiteral("UPDATE orders SET status ='CARTOK',timeCart='%3' WHERE orderNo IN ");

// A failed upload goes back to the queue; uploadHolds says from when it may
// be leased again (notBefore, seconds since the epoch) or, with notBefore
// NULL, that it waits for the operator and why (problem).
inline const QString SQL_RETURN_FAILED_IMAGE =
    QStringLiteral("UPDATE images SET status='waiting' WHERE status='uploading' AND id='%1'");
inline const QString SQL_SELECT_UPLOAD_ATTEMPTS = QStringLiteral("SELECT attempts FROM uploadHolds WHERE imageId='%1'");
inline const QString SQL_HOLD_IMAGE =
    QStringLiteral("INSERT OR REPLACE INTO uploadHolds(imageId,orderId,localPath,attempts,notBefore,problem) "
                   "VALUES('%1','%2','%3','%4',%5,%6)");
inline const QString SQL_SELECT_HELD_IMAGES =
    QStringLiteral("SELECT h.orderId, h.localPath, h.problem FROM uploadHolds h JOIN images i ON i.id=h.imageId "
                   "WHERE h.notBefore IS NULL AND i.status='waiting' ORDER BY h.imageId");
inline const QString SQL_RELEASE_HELD_IMAGES =
    QStringLiteral("DELETE FROM uploadHolds WHERE notBefore IS NULL AND orderId IN (%1)");
inline const QString SQL_DELETE_HOLDS = QStringLiteral("DELETE FROM uploadHolds WHERE orderId IN (%1)");

} // namespace Sql
