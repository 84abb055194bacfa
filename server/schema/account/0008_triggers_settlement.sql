-- Triggers of receipts, payments and other income and expenses.
--
-- Each bill has one trader movement and/or one account movement (part 1), set in place from the
-- bill row on every insert and update and removed with the bill:
--   receipt   client's debt down by AccAmt + TrimAmt; money into the account: AccAmt
--   payment   debt to the vendor down by AccAmt + TrimAmt; money out of the account: AccAmt
--   income / expense   money into / out of the account: AccAmt, direction BIoDirect

DELIMITER $$

-- =============================================================================================
-- tb_bal_gathering: receipts from clients

CREATE TRIGGER tb_bal_gathering_ai AFTER INSERT ON tb_bal_gathering
FOR EACH ROW
BEGIN
  CALL vlt_put_trader_flow('tb_bal_gathering', NEW.Bid, 1, NEW.TraderID,
                           IFNULL(NEW.AccAmt, 0) + IFNULL(NEW.TrimAmt, 0), -1, TRUE);
  CALL vlt_put_account_flow('tb_bal_gathering', NEW.Bid, 1, NEW.AccountId,
                            IFNULL(NEW.AccAmt, 0), 1, TRUE);
END$$

CREATE TRIGGER tb_bal_gathering_bu BEFORE UPDATE ON tb_bal_gathering
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
END$$

CREATE TRIGGER tb_bal_gathering_au AFTER UPDATE ON tb_bal_gathering
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID AND NEW.AccAmt <=> OLD.AccAmt
          AND NEW.TrimAmt <=> OLD.TrimAmt) THEN
    CALL vlt_put_trader_flow('tb_bal_gathering', NEW.Bid, 1, NEW.TraderID,
                             IFNULL(NEW.AccAmt, 0) + IFNULL(NEW.TrimAmt, 0), -1, FALSE);
  END IF;
  IF NOT (NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_put_account_flow('tb_bal_gathering', NEW.Bid, 1, NEW.AccountId,
                              IFNULL(NEW.AccAmt, 0), 1, FALSE);
  END IF;
END$$

CREATE TRIGGER tb_bal_gathering_ad AFTER DELETE ON tb_bal_gathering
FOR EACH ROW
BEGIN
  CALL vlt_drop_flows('tb_bal_gathering', OLD.Bid, NULL);
END$$

-- =============================================================================================
-- tb_bal_payment: payments to vendors

CREATE TRIGGER tb_bal_payment_ai AFTER INSERT ON tb_bal_payment
FOR EACH ROW
BEGIN
  CALL vlt_put_trader_flow('tb_bal_payment', NEW.Bid, 1, NEW.TraderID,
                           IFNULL(NEW.AccAmt, 0) + IFNULL(NEW.TrimAmt, 0), -1, TRUE);
  CALL vlt_put_account_flow('tb_bal_payment', NEW.Bid, 1, NEW.AccountId,
                            IFNULL(NEW.AccAmt, 0), -1, TRUE);
END$$

CREATE TRIGGER tb_bal_payment_bu BEFORE UPDATE ON tb_bal_payment
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
END$$

CREATE TRIGGER tb_bal_payment_au AFTER UPDATE ON tb_bal_payment
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID AND NEW.AccAmt <=> OLD.AccAmt
          AND NEW.TrimAmt <=> OLD.TrimAmt) THEN
    CALL vlt_put_trader_flow('tb_bal_payment', NEW.Bid, 1, NEW.TraderID,
                             IFNULL(NEW.AccAmt, 0) + IFNULL(NEW.TrimAmt, 0), -1, FALSE);
  END IF;
  IF NOT (NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_put_account_flow('tb_bal_payment', NEW.Bid, 1, NEW.AccountId,
                              IFNULL(NEW.AccAmt, 0), -1, FALSE);
  END IF;
END$$

CREATE TRIGGER tb_bal_payment_ad AFTER DELETE ON tb_bal_payment
FOR EACH ROW
BEGIN
  CALL vlt_drop_flows('tb_bal_payment', OLD.Bid, NULL);
END$$

-- =============================================================================================
-- tb_acc_io: other income (BIoDirect 1) and expenses (-1)

CREATE TRIGGER tb_acc_io_ai AFTER INSERT ON tb_acc_io
FOR EACH ROW
BEGIN
  CALL vlt_put_account_flow('tb_acc_io', NEW.Bid, 1, NEW.AccountId, IFNULL(NEW.AccAmt, 0),
                            NEW.BIoDirect, TRUE);
END$$

CREATE TRIGGER tb_acc_io_bu BEFORE UPDATE ON tb_acc_io
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
END$$

CREATE TRIGGER tb_acc_io_au AFTER UPDATE ON tb_acc_io
FOR EACH ROW
BEGIN
  IF NOT (NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt
          AND NEW.BIoDirect <=> OLD.BIoDirect) THEN
    CALL vlt_put_account_flow('tb_acc_io', NEW.Bid, 1, NEW.AccountId, IFNULL(NEW.AccAmt, 0),
                              NEW.BIoDirect, FALSE);
  END IF;
END$$

CREATE TRIGGER tb_acc_io_ad AFTER DELETE ON tb_acc_io
FOR EACH ROW
BEGIN
  CALL vlt_drop_flows('tb_acc_io', OLD.Bid, NULL);
END$$

DELIMITER ;
