-- Bills of an account set.
--
-- Goods bills have a master (tb_<area>_<kind>, keyed by Bid) and lines (<master>_d, keyed by
-- Bid, BNo). There are no foreign keys: the service saves a bill as a master row and line rows in
-- an order it chooses, and rows removed by a cascade would not run the triggers that keep the
-- derived data (0006 to 0008), so the masters' triggers remove their lines themselves.
--
-- Derived columns, kept by triggers and never by the client: the lines' doneQty and the
-- masters' Finished. Amounts: line Amount DECIMAL(20,2); money on masters DECIMAL(20,2).
-- BCode is unique per table: the bill windows page through bills by code.
-- CreateTime/UpdateTime take the client's date-time text ('YYYY-MM-DD HH:MM:SS').

-- purchase order (PO, kind 3000): vendor; no store.
CREATE TABLE tb_pur_order (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_pur_order_bcode (BCode),
  KEY ix_pur_order_bdate (BDate),
  KEY ix_pur_order_trader (TraderID),
  KEY ix_pur_order_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_pur_order_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_pur_order_d_goods (GoodsID),
  KEY ix_pur_order_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- purchase, goods received (PC, kind 3100): vendor.
CREATE TABLE tb_pur_purchase (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  StoreId    VARCHAR(15)             DEFAULT '100000000000001',
  IsStoreIO  VARCHAR(8)              DEFAULT 'False',
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_pur_purchase_bcode (BCode),
  KEY ix_pur_purchase_bdate (BDate),
  KEY ix_pur_purchase_trader (TraderID),
  KEY ix_pur_purchase_store (StoreId),
  KEY ix_pur_purchase_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_pur_purchase_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_pur_purchase_d_goods (GoodsID),
  KEY ix_pur_purchase_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- purchase return (PB, kind 3200): vendor.
CREATE TABLE tb_pur_back (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  StoreId    VARCHAR(15)             DEFAULT '100000000000001',
  IsStoreIO  VARCHAR(8)              DEFAULT 'False',
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_pur_back_bcode (BCode),
  KEY ix_pur_back_bdate (BDate),
  KEY ix_pur_back_trader (TraderID),
  KEY ix_pur_back_store (StoreId),
  KEY ix_pur_back_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_pur_back_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_pur_back_d_goods (GoodsID),
  KEY ix_pur_back_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- sales order (SO, kind 3300): client; no store.
CREATE TABLE tb_sal_order (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_sal_order_bcode (BCode),
  KEY ix_sal_order_bdate (BDate),
  KEY ix_sal_order_trader (TraderID),
  KEY ix_sal_order_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_sal_order_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_sal_order_d_goods (GoodsID),
  KEY ix_sal_order_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- sale, goods delivered (SA, kind 3400): client.
CREATE TABLE tb_sal_sale (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  StoreId    VARCHAR(15)             DEFAULT '100000000000001',
  IsStoreIO  VARCHAR(8)              DEFAULT 'False',
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_sal_sale_bcode (BCode),
  KEY ix_sal_sale_bdate (BDate),
  KEY ix_sal_sale_trader (TraderID),
  KEY ix_sal_sale_store (StoreId),
  KEY ix_sal_sale_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_sal_sale_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_sal_sale_d_goods (GoodsID),
  KEY ix_sal_sale_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- sales return (SK, kind 3500): client.
CREATE TABLE tb_sal_back (
  Bid        VARCHAR(15)    NOT NULL,
  BDate      DATE                    DEFAULT NULL,
  BCode      VARCHAR(17)             DEFAULT NULL,
  BKind      SMALLINT                DEFAULT NULL,
  BState     SMALLINT                DEFAULT NULL,
  TraderID   VARCHAR(15)             DEFAULT NULL,
  RevDate    DATE                    DEFAULT (CURRENT_DATE),
  RevMemo    VARCHAR(512)            DEFAULT NULL,
  NoteType   VARCHAR(28)             DEFAULT '收据',
  TaxRate    SMALLINT                DEFAULT 0,
  IsPay      VARCHAR(8)              DEFAULT 'False',
  AccountId  VARCHAR(15)             DEFAULT NULL,
  AccAmt     DECIMAL(20, 2)          DEFAULT 0,
  StoreId    VARCHAR(15)             DEFAULT '100000000000001',
  IsStoreIO  VARCHAR(8)              DEFAULT 'False',
  Finished   VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark     VARCHAR(1024)           DEFAULT NULL,
  CreateOp   BIGINT                  DEFAULT NULL,
  UpdateOP   BIGINT                  DEFAULT NULL,
  CreateTime DATETIME                DEFAULT NULL,
  UpdateTime DATETIME                DEFAULT NULL,
  BDiary     VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_sal_back_bcode (BCode),
  KEY ix_sal_back_bdate (BDate),
  KEY ix_sal_back_trader (TraderID),
  KEY ix_sal_back_store (StoreId),
  KEY ix_sal_back_account (AccountId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_sal_back_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  Price        DECIMAL(11, 2)          DEFAULT 0,
  TaxRate      SMALLINT                DEFAULT 0,
  Amount       DECIMAL(20, 2)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  doneQty      DECIMAL(13, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Bid, BNo),
  KEY ix_sal_back_d_goods (GoodsID),
  KEY ix_sal_back_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Stock in (TI): executes purchases (3100) and sales returns (3500), or stands alone.
-- No trader, prices or payment; the lines have no doneQty.
CREATE TABLE tb_sto_in (
  Bid        VARCHAR(15)   NOT NULL,
  BDate      DATE                   DEFAULT NULL,
  BCode      VARCHAR(17)            DEFAULT NULL,
  BKind      SMALLINT               DEFAULT NULL,
  BState     SMALLINT               DEFAULT NULL,
  StoreId    VARCHAR(15)            DEFAULT '100000000000001',
  ReMark     VARCHAR(1024)          DEFAULT NULL,
  CreateOp   BIGINT                 DEFAULT NULL,
  UpdateOP   BIGINT                 DEFAULT NULL,
  CreateTime DATETIME               DEFAULT NULL,
  UpdateTime DATETIME               DEFAULT NULL,
  BDiary     VARCHAR(4096)          DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_sto_in_bcode (BCode),
  KEY ix_sto_in_bdate (BDate),
  KEY ix_sto_in_store (StoreId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_sto_in_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  PRIMARY KEY (Bid, BNo),
  KEY ix_sto_in_d_goods (GoodsID),
  KEY ix_sto_in_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Stock out (TO): executes sales (3400) and purchase returns (3200), or stands alone.
-- No trader, prices or payment; the lines have no doneQty.
CREATE TABLE tb_sto_out (
  Bid        VARCHAR(15)   NOT NULL,
  BDate      DATE                   DEFAULT NULL,
  BCode      VARCHAR(17)            DEFAULT NULL,
  BKind      SMALLINT               DEFAULT NULL,
  BState     SMALLINT               DEFAULT NULL,
  StoreId    VARCHAR(15)            DEFAULT '100000000000001',
  ReMark     VARCHAR(1024)          DEFAULT NULL,
  CreateOp   BIGINT                 DEFAULT NULL,
  UpdateOP   BIGINT                 DEFAULT NULL,
  CreateTime DATETIME               DEFAULT NULL,
  UpdateTime DATETIME               DEFAULT NULL,
  BDiary     VARCHAR(4096)          DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_sto_out_bcode (BCode),
  KEY ix_sto_out_bdate (BDate),
  KEY ix_sto_out_store (StoreId)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE tb_sto_out_d (
  Bid          VARCHAR(15)    NOT NULL,
  BNo          INT            NOT NULL,
  GoodsID      VARCHAR(15)    NOT NULL,
  UnitID       VARCHAR(15)             DEFAULT NULL,
  Qty          DECIMAL(13, 4)          DEFAULT 0,
  DetailRemark VARCHAR(512)            DEFAULT NULL,
  Pause        VARCHAR(8)     NOT NULL DEFAULT 'False',
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationBNo  INT                     DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  PRIMARY KEY (Bid, BNo),
  KEY ix_sto_out_d_goods (GoodsID),
  KEY ix_sto_out_d_relation (RelationBid, RelationBNo, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Receipts from clients (BG): AccAmt is the money that moved, TrimAmt the part of the
-- debt written off with it (0 when left empty). NowBalance is the trader's balance when the bill
-- was made, kept as written by the client. RelationBid/RelationKind may name a bill this one
-- settles.
CREATE TABLE tb_bal_gathering (
  Bid          VARCHAR(15)    NOT NULL,
  BDate        DATE                    DEFAULT NULL,
  BCode        VARCHAR(17)             DEFAULT NULL,
  BKind        SMALLINT                DEFAULT NULL,
  BState       SMALLINT                DEFAULT NULL,
  TraderID     VARCHAR(15)             DEFAULT NULL,
  RevMemo      VARCHAR(512)            DEFAULT NULL,
  AccountId    VARCHAR(15)             DEFAULT NULL,
  AccAmt       DECIMAL(20, 2)          DEFAULT 0,
  TrimAmt      DECIMAL(20, 2)          DEFAULT 0,
  NowBalance   DECIMAL(20, 2)          DEFAULT NULL,
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  ReMark       VARCHAR(1024)           DEFAULT NULL,
  CreateOp     BIGINT                  DEFAULT NULL,
  UpdateOP     BIGINT                  DEFAULT NULL,
  CreateTime   DATETIME                DEFAULT NULL,
  UpdateTime   DATETIME                DEFAULT NULL,
  BDiary       VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_bal_gathering_bcode (BCode),
  KEY ix_bal_gathering_bdate (BDate),
  KEY ix_bal_gathering_trader (TraderID),
  KEY ix_bal_gathering_account (AccountId),
  KEY ix_bal_gathering_relation (RelationBid, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Payments to vendors (PM): AccAmt is the money that moved, TrimAmt the part of the
-- debt written off with it (0 when left empty). NowBalance is the trader's balance when the bill
-- was made, kept as written by the client. RelationBid/RelationKind may name a bill this one
-- settles.
CREATE TABLE tb_bal_payment (
  Bid          VARCHAR(15)    NOT NULL,
  BDate        DATE                    DEFAULT NULL,
  BCode        VARCHAR(17)             DEFAULT NULL,
  BKind        SMALLINT                DEFAULT NULL,
  BState       SMALLINT                DEFAULT NULL,
  TraderID     VARCHAR(15)             DEFAULT NULL,
  RevMemo      VARCHAR(512)            DEFAULT NULL,
  AccountId    VARCHAR(15)             DEFAULT NULL,
  AccAmt       DECIMAL(20, 2)          DEFAULT 0,
  TrimAmt      DECIMAL(20, 2)          DEFAULT 0,
  NowBalance   DECIMAL(20, 2)          DEFAULT NULL,
  RelationBid  VARCHAR(15)             DEFAULT NULL,
  RelationKind SMALLINT                DEFAULT NULL,
  ReMark       VARCHAR(1024)           DEFAULT NULL,
  CreateOp     BIGINT                  DEFAULT NULL,
  UpdateOP     BIGINT                  DEFAULT NULL,
  CreateTime   DATETIME                DEFAULT NULL,
  UpdateTime   DATETIME                DEFAULT NULL,
  BDiary       VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  UNIQUE KEY uk_bal_payment_bcode (BCode),
  KEY ix_bal_payment_bdate (BDate),
  KEY ix_bal_payment_trader (TraderID),
  KEY ix_bal_payment_account (AccountId),
  KEY ix_bal_payment_relation (RelationBid, RelationKind)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Other income (BIoDirect 1) and expenses (-1) paid into or out of an account. No bill code: the
-- entry window has none.
CREATE TABLE tb_acc_io (
  Bid         VARCHAR(15)    NOT NULL,
  BDate       DATE                    DEFAULT NULL,
  BKind       SMALLINT                DEFAULT NULL,
  BState      SMALLINT                DEFAULT NULL,
  BIoDirect   SMALLINT       NOT NULL,
  AccountId   VARCHAR(15)             DEFAULT NULL,
  AccIoTypeID VARCHAR(15)             DEFAULT NULL,
  AccAmt      DECIMAL(20, 2)          DEFAULT 0,
  ReMark      VARCHAR(1024)           DEFAULT NULL,
  CreateOp    BIGINT                  DEFAULT NULL,
  CreateTime  DATETIME                DEFAULT NULL,
  UpdateOP    BIGINT                  DEFAULT NULL,
  UpdateTime  DATETIME                DEFAULT NULL,
  BDiary      VARCHAR(4096)           DEFAULT NULL,
  PRIMARY KEY (Bid),
  KEY ix_acc_io_bdate (BDate),
  KEY ix_acc_io_account (AccountId),
  KEY ix_acc_io_type (AccIoTypeID),
  CONSTRAINT ck_acc_io_direct CHECK (BIoDirect IN (1, -1))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
