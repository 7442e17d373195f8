-- Schema of the seed database ":/db/upload.db.bak".
-- The client never creates or alters these tables at run time: a new or
-- broken database file is replaced by a copy of this seed. Declared types are
-- kept exactly as older database files carry them ("TEX", "BOOLEAN(10)").

CREATE TABLE "orders" (
    "id"            INTEGER NOT NULL,
    "orderNo"       TEXT(100) NOT NULL,
    "spuID"         INTEGER,
    "productName"   TEXT,
    "ifSeries"      INTEGER,
    "skuGroupName"  TEX,
    "name"          TEXT(255) NOT NULL,
    "size"          INTEGER NOT NULL,
    "timeCreated"   TEXT,
    "fileCout"      INTEGER NOT NULL,
    "uploadedCount" INTEGER DEFAULT 0,
    "orderCount"    INTEGER NOT NULL,
    "status"        TEXT(32) DEFAULT 'newOrder',
    "customerId"    TEXT(20),
    "customerName"  TEXT(255),
    "description"   TEXT(255),
    "timeFinished"  TEXT,
    "timeCart"      TEXT,
    "orderJson"     TEXT,
    "failsCount"    INTEGER,
    "uploadUrl"     TEXT(255),
    "storagePath"   TEXT(255),
    PRIMARY KEY ("id" ASC)
);

CREATE TABLE "subOrders" (
    "id"            INTEGER NOT NULL,
    "skuID"         INTEGER NOT NULL,
    "orderNo"       TEXT(100) NOT NULL,
    "name"          TEXT(255) NOT NULL,
    "timeCreated"   TEXT DEFAULT NULL,
    "filesCount"    INTEGER NOT NULL,
    "status"        TEXT(32) DEFAULT '新订单',
    "failsCount"    INTEGER,
    "parentOrderId" TEXT,
    "price"         INTEGER,
    PRIMARY KEY ("id" ASC)
);

CREATE TABLE "product" (
    "id"            INTEGER PRIMARY KEY AUTOINCREMENT,
    "skuID"         INTEGER NOT NULL,
    "skuPrice"      INTEGER NOT NULL,
    "ifSeries"      BOOLEAN(10) NOT NULL,
    "spuID"         INTEGER NOT NULL,
    "productName"   VARCHAR(100) NOT NULL,
    "skuGroupName"  TEXT(100) NOT NULL,
    "skuGroupID"    INTEGER NOT NULL,
    "productID"     INTEGER,
    "parentID"      INTEGER
);

CREATE UNIQUE INDEX "productName" ON "product" ("skuID" ASC);

CREATE TABLE "images" (
    "id"                             INTEGER NOT NULL,
    "imageName"                      TEXT,
    "name"                           TEXT NOT NULL,
    "orderId"                        TEXT NOT NULL,
    "subOrderId"                     TEXT NOT NULL,
    "skuId"                          INTEGER,
    "size"                           INTEGER,
    "IsRotate"                       BOOLEAN NOT NULL,
    "sort"                           INTEGER NOT NULL,
    "type"                           TEXT NOT NULL,
    "localPath"                      TEXT NOT NULL,
    "imageMess"                      TEXT NOT NULL,
    "url"                            TEXT,
    "status"                         TEXT DEFAULT 'waiting',
    "uploadDate"                     INTEGER,
    "MD5"                            TEXT,
    "specialLayout"                  BLOB,
    "specialLayoutWhitePagePosition" TEXT,
    "pdfPath"                        TEXT,
    "BucketType"                     INTEGER,
    PRIMARY KEY ("id" ASC)
);

CREATE TABLE "user" (
    "id"              INTEGER NOT NULL,
    "user_name"       TEXT,
    "password"        TEXT,
    "created_time"    DATE,
    "last_login_time" DATE,
    PRIMARY KEY ("id")
);
