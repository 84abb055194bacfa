-- Personal finance ledger of the signed-in user: entries and the user's own categories.
--
-- Ids are assigned by the database only, never changed, and kept in a fixed range like the
-- calendar's (see 0004): entries 1..9899999999; categories 1..2147483647 because the rename
-- window carries a category id in a 32-bit integer.

CREATE TABLE userpersincard (
  ID       BIGINT        NOT NULL AUTO_INCREMENT,
  UserID   BIGINT        NOT NULL,
  -- category or card name, stored as text: renaming a category leaves entries alone
  IOType   VARCHAR(384)  NOT NULL DEFAULT '',
  bdate    DATE          NOT NULL,
  IOAmt    DECIMAL(13,2) NOT NULL DEFAULT 0,
  Remark   VARCHAR(1536) NOT NULL DEFAULT '',
  -- effect on cash: 1 income and card repayment, -1 expense, 0 card spending
  IODirect INT           NOT NULL DEFAULT 0,
  -- 1 income, 2 expense, 3 card spending, 4 card repayment
  IOKind   INT           NOT NULL,
  PRIMARY KEY (ID),
  KEY ix_userpersincard_user_date (UserID, bdate),
  KEY ix_userpersincard_user_kind_date (UserID, IOKind, bdate),
  CONSTRAINT ck_persincard_kind CHECK (IOKind BETWEEN 1 AND 4),
  CONSTRAINT ck_persincard_direct CHECK (IODirect IN (-1, 0, 1))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Kinds: 1 income category, 2 expense category, 3 credit-card name (used by entry kinds 3 and 4).
CREATE TABLE userpersioniotype (
  ID       BIGINT       NOT NULL AUTO_INCREMENT,
  UserID   BIGINT       NOT NULL,
  IOKind   INT          NOT NULL,
  IODirect INT          NOT NULL DEFAULT 1,
  IOType   VARCHAR(512) NOT NULL DEFAULT '',
  PRIMARY KEY (ID),
  KEY ix_userpersioniotype_user_kind (UserID, IOKind),
  CONSTRAINT ck_persioniotype_kind CHECK (IOKind BETWEEN 1 AND 3),
  CONSTRAINT ck_persioniotype_direct CHECK (IODirect IN (-1, 1))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

DELIMITER $$
CREATE TRIGGER userpersincard_id_bi BEFORE INSERT ON userpersincard FOR EACH ROW
BEGIN
  IF NEW.ID <> 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersincard.ID is assigned by the database';
  END IF;
END$$
CREATE TRIGGER userpersincard_id_ai AFTER INSERT ON userpersincard FOR EACH ROW
BEGIN
  IF NEW.ID > 9899999999 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersincard.ID range exhausted';
  END IF;
END$$
CREATE TRIGGER userpersincard_id_bu BEFORE UPDATE ON userpersincard FOR EACH ROW
BEGIN
  IF NEW.ID <> OLD.ID THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersincard.ID cannot be changed';
  END IF;
END$$
CREATE TRIGGER userpersioniotype_id_bi BEFORE INSERT ON userpersioniotype FOR EACH ROW
BEGIN
  IF NEW.ID <> 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersioniotype.ID is assigned by the database';
  END IF;
END$$
CREATE TRIGGER userpersioniotype_id_ai AFTER INSERT ON userpersioniotype FOR EACH ROW
BEGIN
  IF NEW.ID > 2147483647 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersioniotype.ID range exhausted';
  END IF;
END$$
CREATE TRIGGER userpersioniotype_id_bu BEFORE UPDATE ON userpersioniotype FOR EACH ROW
BEGIN
  IF NEW.ID <> OLD.ID THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'userpersioniotype.ID cannot be changed';
  END IF;
END$$
DELIMITER ;
