-- Triggers of the base data and of the movement tables: opening rows, balances, system rows.

DELIMITER $$

-- ---------------------------------------------------------------------------------------------
-- Movement rows move balances in place. An opening row ('-99') is kept recognisable whatever the
-- writer sends for SrcTable/SrcPart; a NULL amount counts as 0.

CREATE TRIGGER ts_traderbalancedetailflow_bi BEFORE INSERT ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_traderbalancedetailflow_ai AFTER INSERT ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_trader_balance(NEW.TraderID, NEW.IOAmount * NEW.IODirection);
END$$

CREATE TRIGGER ts_traderbalancedetailflow_bu BEFORE UPDATE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_traderbalancedetailflow_au AFTER UPDATE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  IF NEW.TraderID <=> OLD.TraderID THEN
    CALL vlt_add_trader_balance(NEW.TraderID,
                                NEW.IOAmount * NEW.IODirection - OLD.IOAmount * OLD.IODirection);
  ELSE
    -- the movement changed hands: all of it leaves the old trader and goes to the new one
    CALL vlt_add_trader_balance(OLD.TraderID, -OLD.IOAmount * OLD.IODirection);
    CALL vlt_add_trader_balance(NEW.TraderID, NEW.IOAmount * NEW.IODirection);
  END IF;
END$$

CREATE TRIGGER ts_traderbalancedetailflow_ad AFTER DELETE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_trader_balance(OLD.TraderID, -OLD.IOAmount * OLD.IODirection);
END$$

CREATE TRIGGER ts_accountdetailflow_bi BEFORE INSERT ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_accountdetailflow_ai AFTER INSERT ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_account_balance(NEW.AccountID, NEW.IOAmount * NEW.IODirection);
END$$

CREATE TRIGGER ts_accountdetailflow_bu BEFORE UPDATE ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_accountdetailflow_au AFTER UPDATE ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  IF NEW.AccountID <=> OLD.AccountID THEN
    CALL vlt_add_account_balance(NEW.AccountID,
                                 NEW.IOAmount * NEW.IODirection - OLD.IOAmount * OLD.IODirection);
  ELSE
    CALL vlt_add_account_balance(OLD.AccountID, -OLD.IOAmount * OLD.IODirection);
    CALL vlt_add_account_balance(NEW.AccountID, NEW.IOAmount * NEW.IODirection);
  END IF;
END$$

CREATE TRIGGER ts_accountdetailflow_ad AFTER DELETE ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_account_balance(OLD.AccountID, -OLD.IOAmount * OLD.IODirection);
END$$

-- ---------------------------------------------------------------------------------------------
-- Traders. Balance is the sum of the trader's movements: whatever a writer puts there is
-- replaced. Every trader gets its opening row (amount 0) when it is created. A trader that has
-- business (any movement other than a zero opening row, or an order) cannot be deleted: its
-- movements would lose their owner.

CREATE TRIGGER td_trader_bi BEFORE INSERT ON td_trader
FOR EACH ROW
BEGIN
  -- normally 0; movements made for this id before the trader existed count too
  SET NEW.Balance = IFNULL((SELECT SUM(IOAmount * IODirection) FROM ts_traderbalancedetailflow
                             WHERE TraderID = NEW.Id), 0);
END$$

CREATE TRIGGER td_trader_ai AFTER INSERT ON td_trader
FOR EACH ROW
BEGIN
  IF NOT EXISTS (SELECT 1 FROM ts_traderbalancedetailflow
                  WHERE TraderID = NEW.Id AND Bid = '-99') THEN
    INSERT INTO ts_traderbalancedetailflow (TraderID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (NEW.Id, '-99', 0, 1, '', 0);
  END IF;
END$$

CREATE TRIGGER td_trader_bu BEFORE UPDATE ON td_trader
FOR EACH ROW
BEGIN
  IF NEW.Id <> OLD.Id THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '基础资料ID不允许修改！';
  END IF;
  IF NOT vlt_in_derived_write() THEN
    SET NEW.Balance = OLD.Balance;
  END IF;
END$$

CREATE TRIGGER td_trader_bd BEFORE DELETE ON td_trader
FOR EACH ROW
BEGIN
  IF EXISTS (SELECT 1 FROM ts_traderbalancedetailflow
              WHERE TraderID = OLD.Id AND (Bid <> '-99' OR IOAmount <> 0))
     OR EXISTS (SELECT 1 FROM tb_pur_order WHERE TraderID = OLD.Id)
     OR EXISTS (SELECT 1 FROM tb_sal_order WHERE TraderID = OLD.Id) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '该往来单位已有业务发生，不允许删除！';
  END IF;
END$$

CREATE TRIGGER td_trader_ad AFTER DELETE ON td_trader
FOR EACH ROW
BEGIN
  -- only the zero opening row is left (see td_trader_bd)
  DELETE FROM ts_traderbalancedetailflow WHERE TraderID = OLD.Id;
END$$

-- ---------------------------------------------------------------------------------------------
-- Accounts: as traders.

CREATE TRIGGER td_account_bi BEFORE INSERT ON td_account
FOR EACH ROW
BEGIN
  SET NEW.Balance = IFNULL((SELECT SUM(IOAmount * IODirection) FROM ts_accountdetailflow
                             WHERE AccountID = NEW.Id), 0);
END$$

CREATE TRIGGER td_account_ai AFTER INSERT ON td_account
FOR EACH ROW
BEGIN
  IF NOT EXISTS (SELECT 1 FROM ts_accountdetailflow WHERE AccountID = NEW.Id AND Bid = '-99') THEN
    INSERT INTO ts_accountdetailflow (AccountID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (NEW.Id, '-99', 0, 1, '', 0);
  END IF;
END$$

CREATE TRIGGER td_account_bu BEFORE UPDATE ON td_account
FOR EACH ROW
BEGIN
  IF NEW.Id <> OLD.Id THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '基础资料ID不允许修改！';
  END IF;
  IF NOT vlt_in_derived_write() THEN
    SET NEW.Balance = OLD.Balance;
  END IF;
END$$

CREATE TRIGGER td_account_bd BEFORE DELETE ON td_account
FOR EACH ROW
BEGIN
  IF EXISTS (SELECT 1 FROM ts_accountdetailflow
              WHERE AccountID = OLD.Id AND (Bid <> '-99' OR IOAmount <> 0)) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '该帐户已有收支发生，不允许删除！';
  END IF;
END$$

CREATE TRIGGER td_account_ad AFTER DELETE ON td_account
FOR EACH ROW
BEGIN
  DELETE FROM ts_accountdetailflow WHERE AccountID = OLD.Id;
END$$

-- ---------------------------------------------------------------------------------------------
-- System rows: the main store and the system goods type may not be changed or deleted, and the
-- system type takes no sub-types.

CREATE TRIGGER td_store_bu BEFORE UPDATE ON td_store
FOR EACH ROW
BEGIN
  IF OLD.Id = '100000000000001' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，不允许修改！';
  END IF;
END$$

CREATE TRIGGER td_store_bd BEFORE DELETE ON td_store
FOR EACH ROW
BEGIN
  IF OLD.Id = '100000000000001' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，不允许删除！';
  END IF;
END$$

CREATE TRIGGER td_goodstype_bi BEFORE INSERT ON td_goodstype
FOR EACH ROW
BEGIN
  IF NEW.PId = '-9999' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，禁止增加子类！';
  END IF;
END$$

CREATE TRIGGER td_goodstype_bu BEFORE UPDATE ON td_goodstype
FOR EACH ROW
BEGIN
  IF OLD.Id = '-9999' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，禁止修改！';
  END IF;
  IF NEW.PId = '-9999' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，禁止增加子类！';
  END IF;
END$$

CREATE TRIGGER td_goodstype_bd BEFORE DELETE ON td_goodstype
FOR EACH ROW
BEGIN
  IF OLD.Id = '-9999' THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '系统数据，不允许删除！';
  END IF;
END$$

DELIMITER ;
