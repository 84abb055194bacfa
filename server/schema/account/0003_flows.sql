-- Movement rows of trader debts and of account money, written by the triggers of the bills
-- (0006 to 0008) and, for the opening rows, edited by the client.
--
-- A row moves its trader's (account's) balance by IOAmount * IODirection; the balance in
-- td_trader (td_account) is always the sum of that product over the trader's (account's) rows.
-- Rows with Bid '-99' are opening balances: one per trader and per account, made with amount 0
-- when the trader or account is created; the client edits only their IOAmount.
--
-- SrcTable and SrcPart say which bill row made a movement, so that its trigger finds it again:
--   SrcTable  the bill's master table ('' for an opening row);
--   SrcPart   0 opening row, 1 the bill itself (its amount, or the money of a receipt, payment,
--             income or expense), 2 the settlement made at once by a bill with IsPay 'True'.
-- A bill row's TraderID/AccountID may be NULL (a bill without trader or account moves nobody's
-- balance).

CREATE TABLE ts_traderbalancedetailflow (
  ID          BIGINT         NOT NULL AUTO_INCREMENT,
  TraderID    VARCHAR(15)             DEFAULT NULL,
  Bid         VARCHAR(15)    NOT NULL,
  IOAmount    DECIMAL(25, 4)          DEFAULT 0,
  IODirection SMALLINT       NOT NULL DEFAULT 1,
  SrcTable    VARCHAR(32)    NOT NULL DEFAULT '',
  SrcPart     TINYINT        NOT NULL DEFAULT 0,
  PRIMARY KEY (ID),
  -- one opening row per trader; one row per bill and part
  UNIQUE KEY uk_traderflow (TraderID, Bid, SrcTable, SrcPart),
  KEY ix_traderflow_bill (Bid, SrcTable, SrcPart),
  CONSTRAINT ck_traderflow_direction CHECK (IODirection IN (1, -1))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

CREATE TABLE ts_accountdetailflow (
  ID          BIGINT         NOT NULL AUTO_INCREMENT,
  AccountID   VARCHAR(15)             DEFAULT NULL,
  Bid         VARCHAR(15)    NOT NULL,
  IOAmount    DECIMAL(25, 4)          DEFAULT 0,
  IODirection SMALLINT       NOT NULL DEFAULT 1,
  SrcTable    VARCHAR(32)    NOT NULL DEFAULT '',
  SrcPart     TINYINT        NOT NULL DEFAULT 0,
  PRIMARY KEY (ID),
  UNIQUE KEY uk_accountflow (AccountID, Bid, SrcTable, SrcPart),
  KEY ix_accountflow_bill (Bid, SrcTable, SrcPart),
  CONSTRAINT ck_accountflow_direction CHECK (IODirection IN (1, -1))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
