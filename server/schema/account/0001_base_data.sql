-- Base data of an account set: units, stores, accounts, income and expense categories, traders,
-- goods types and goods, plus the operator grants of the set.
--
-- Ids are text of up to 15 characters made by the client; flags are 'True'/'False' texts that the
-- client writes in either letter case (the general_ci collation compares them without case).
-- Names and codes the client keeps unique carry a unique key, so that a duplicate fails with
-- MariaDB's "Duplicate entry" error, which the client turns into its own message.
-- Balances are derived: see 0005 and the README.

CREATE TABLE td_unit (
  Id   VARCHAR(15) NOT NULL,
  Name VARCHAR(30) NOT NULL,
  PRIMARY KEY (Id),
  UNIQUE KEY uk_unit_name (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE td_store (
  Id   VARCHAR(15) NOT NULL,
  Name VARCHAR(80) NOT NULL,
  PRIMARY KEY (Id),
  UNIQUE KEY uk_store_name (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Balance = signed sum of the account's rows in ts_accountdetailflow; the client never writes it
-- (its insert names only Id and Name, so the default applies).
CREATE TABLE td_account (
  Id      VARCHAR(15)    NOT NULL,
  Name    VARCHAR(80)    NOT NULL,
  Balance DECIMAL(25, 4) NOT NULL DEFAULT 0,
  PRIMARY KEY (Id),
  UNIQUE KEY uk_account_name (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- IODirect 1 = other income, -1 = expense (0 when the edit window had neither ticked). The same
-- name may serve once as income and once as expense.
CREATE TABLE td_accountiotype (
  Id       VARCHAR(15) NOT NULL,
  Name     VARCHAR(80) NOT NULL,
  IODirect SMALLINT    NOT NULL DEFAULT 0,
  PRIMARY KEY (Id),
  UNIQUE KEY uk_accountiotype_name (IODirect, Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Clients (IsClient 'True') and vendors ('False') share the table; a client and a vendor may
-- have the same name. Balance = receivable of a client / payable to a vendor = signed sum of the
-- trader's rows in ts_traderbalancedetailflow.
CREATE TABLE td_trader (
  Id       VARCHAR(15)    NOT NULL,
  Name     VARCHAR(80)    NOT NULL,
  Address  VARCHAR(255)            DEFAULT NULL,
  LinkMen  VARCHAR(80)             DEFAULT NULL,
  Tel      VARCHAR(80)             DEFAULT NULL,
  Balance  DECIMAL(25, 4) NOT NULL DEFAULT 0,
  IsClient VARCHAR(8)     NOT NULL DEFAULT 'False',
  PRIMARY KEY (Id),
  UNIQUE KEY uk_trader_name (IsClient, Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Goods-type tree: PId is the parent's Id or '-1' at the top; LevelCode is the parent's code
-- plus three characters and serves prefix searches ("levelcode like 'abc%'"). Siblings may not
-- share a name.
CREATE TABLE td_goodstype (
  Id        VARCHAR(15)  NOT NULL,
  Name      VARCHAR(80)  NOT NULL,
  PId       VARCHAR(15)  NOT NULL DEFAULT '-1',
  LevelCode VARCHAR(255) NOT NULL,
  PRIMARY KEY (Id),
  UNIQUE KEY uk_goodstype_levelcode (LevelCode),
  UNIQUE KEY uk_goodstype_name (PId, Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Goods: Code is unique, and so is Name with Spec (Spec is '' rather than NULL so that the pair
-- stays unique when no Spec is given). A goods saved without a type gets '-9999'.
CREATE TABLE td_goods (
  Id          VARCHAR(15)    NOT NULL,
  Code        VARCHAR(40)    NOT NULL,
  Name        VARCHAR(80)    NOT NULL,
  Spec        VARCHAR(80)    NOT NULL DEFAULT '',
  TypeID      VARCHAR(15)    NOT NULL DEFAULT '-9999',
  UnitID      VARCHAR(15)             DEFAULT NULL,
  Kind        VARCHAR(20)             DEFAULT '库存商品',
  CostKeeping VARCHAR(20)             DEFAULT '先进先出法',
  BarCode     VARCHAR(40)             DEFAULT NULL,
  PurPrice    DECIMAL(11, 2)          DEFAULT 0,
  SalPrice    DECIMAL(11, 2)          DEFAULT 0,
  WsaPrice    DECIMAL(11, 2)          DEFAULT 0,
  Pause       VARCHAR(8)     NOT NULL DEFAULT 'False',
  ReMark      VARCHAR(1024)           DEFAULT NULL,
  ExistPic    VARCHAR(8)     NOT NULL DEFAULT 'False',
  PRIMARY KEY (Id),
  UNIQUE KEY uk_goods_code (Code),
  UNIQUE KEY uk_goods_name_spec (Name, Spec),
  KEY ix_goods_type (TypeID),
  KEY ix_goods_unit (UnitID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Grants of this set: one row per operator and module, copied from the system catalogue
-- UserdatabasePowerModule (same widths and collation, so the two compare directly).
CREATE TABLE ts_userpower (
  UserID       BIGINT       NOT NULL,
  ModuleID     VARCHAR(45)  NOT NULL,
  ModuleCnName VARCHAR(765) NOT NULL DEFAULT '',
  groupID      VARCHAR(3)            DEFAULT NULL,
  PRIMARY KEY (UserID, ModuleID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Fixed rows of every new set. The main store is where new purchase, sales and stock bills
-- start. The system goods type takes the goods saved without a type; it is a top-level type
-- whose level code contains '9', a character the client never draws for its own codes, so it
-- can never collide with them.
INSERT INTO td_store (Id, Name) VALUES ('100000000000001', '主仓库');

INSERT INTO td_goodstype (Id, Name, PId, LevelCode) VALUES ('-9999', '未分类', '-1', '999');
