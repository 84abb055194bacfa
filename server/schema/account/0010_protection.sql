-- Rows the database owns, protected from client statements.
--
-- Movement rows that bills make (every row but the '-99' opening rows) are written only by the
-- bills' triggers: a client that changed or deleted one would leave a balance wrong (a purchase's
-- movement deleted drops the vendor's payable, and the vendor, who has business, could then be
-- deleted). The routines that write them raise @vlt_derived_write meanwhile, as the balance
-- writers do; clients cannot set it (the service refuses statements naming @vlt_ variables).
-- Opening rows stay the client's, amount and direction only.
--
-- Grants (ts_userpower) are changed by the set's owner only: the service sets @vlt_operator in
-- the session of an operator's call.

DELIMITER $$

DROP PROCEDURE IF EXISTS vlt_add_bill_amount$$
CREATE PROCEDURE vlt_add_bill_amount(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                     IN p_delta DECIMAL(25, 4))
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  IF p_bid IS NOT NULL AND IFNULL(p_delta, 0) <> 0 THEN
    UPDATE ts_traderbalancedetailflow SET IOAmount = IOAmount + p_delta
      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = 1;
  END IF;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

DROP PROCEDURE IF EXISTS vlt_put_bill_flow$$
CREATE PROCEDURE vlt_put_bill_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                   IN p_trader VARCHAR(15), IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  IF NOT p_new THEN
    UPDATE ts_traderbalancedetailflow SET TraderID = p_trader
      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = 1;
  END IF;
  IF p_new THEN
    INSERT INTO ts_traderbalancedetailflow (TraderID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (p_trader, p_bid, 0, vlt_trade_bill_dir(p_table), p_table, 1);
  ELSEIF NOT EXISTS (SELECT 1 FROM ts_traderbalancedetailflow
                      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = 1) THEN
    INSERT INTO ts_traderbalancedetailflow (TraderID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (p_trader, p_bid, vlt_bill_lines_amount(p_table, p_bid), vlt_trade_bill_dir(p_table),
              p_table, 1);
  END IF;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

DROP PROCEDURE IF EXISTS vlt_put_trader_flow$$
CREATE PROCEDURE vlt_put_trader_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                     IN p_part TINYINT, IN p_trader VARCHAR(15),
                                     IN p_amount DECIMAL(25, 4), IN p_dir SMALLINT,
                                     IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  IF NOT p_new THEN
    UPDATE ts_traderbalancedetailflow
      SET TraderID = p_trader, IOAmount = p_amount, IODirection = p_dir
      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = p_part;
  END IF;
  IF p_new OR NOT EXISTS (SELECT 1 FROM ts_traderbalancedetailflow
                           WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = p_part) THEN
    INSERT INTO ts_traderbalancedetailflow (TraderID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (p_trader, p_bid, p_amount, p_dir, p_table, p_part);
  END IF;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

DROP PROCEDURE IF EXISTS vlt_put_account_flow$$
CREATE PROCEDURE vlt_put_account_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                      IN p_part TINYINT, IN p_account VARCHAR(15),
                                      IN p_amount DECIMAL(25, 4), IN p_dir SMALLINT,
                                      IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  IF NOT p_new THEN
    UPDATE ts_accountdetailflow
      SET AccountID = p_account, IOAmount = p_amount, IODirection = p_dir
      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = p_part;
  END IF;
  IF p_new OR NOT EXISTS (SELECT 1 FROM ts_accountdetailflow
                           WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = p_part) THEN
    INSERT INTO ts_accountdetailflow (AccountID, Bid, IOAmount, IODirection, SrcTable, SrcPart)
      VALUES (p_account, p_bid, p_amount, p_dir, p_table, p_part);
  END IF;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

DROP PROCEDURE IF EXISTS vlt_drop_flows$$
CREATE PROCEDURE vlt_drop_flows(IN p_table VARCHAR(32), IN p_bid VARCHAR(15), IN p_part TINYINT)
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  DELETE FROM ts_traderbalancedetailflow
    WHERE Bid = p_bid AND SrcTable = p_table AND (p_part IS NULL OR SrcPart = p_part);
  DELETE FROM ts_accountdetailflow
    WHERE Bid = p_bid AND SrcTable = p_table AND (p_part IS NULL OR SrcPart = p_part);
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

-- A client may add, and change the amount and direction of, an opening row; nothing else.
CREATE FUNCTION vlt_client_flow_write(p_old_bid VARCHAR(15), p_new_bid VARCHAR(15),
                                      p_same_owner TINYINT) RETURNS TINYINT
  NOT DETERMINISTIC NO SQL
RETURN vlt_in_derived_write()
    OR (IFNULL(p_old_bid, '-99') = '-99' AND IFNULL(p_new_bid, '-99') = '-99' AND p_same_owner)$$

DROP TRIGGER IF EXISTS ts_traderbalancedetailflow_bi$$
CREATE TRIGGER ts_traderbalancedetailflow_bi BEFORE INSERT ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(NULL, NEW.Bid, 1) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来流水由单据生成，不允许直接修改！';
  END IF;
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

DROP TRIGGER IF EXISTS ts_traderbalancedetailflow_bu$$
CREATE TRIGGER ts_traderbalancedetailflow_bu BEFORE UPDATE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(OLD.Bid, NEW.Bid, NEW.TraderID <=> OLD.TraderID) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来流水由单据生成，不允许直接修改！';
  END IF;
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_traderbalancedetailflow_bd BEFORE DELETE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(OLD.Bid, NULL, 1) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来流水由单据生成，不允许直接修改！';
  END IF;
END$$

DROP TRIGGER IF EXISTS ts_accountdetailflow_bi$$
CREATE TRIGGER ts_accountdetailflow_bi BEFORE INSERT ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(NULL, NEW.Bid, 1) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '收支流水由单据生成，不允许直接修改！';
  END IF;
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

DROP TRIGGER IF EXISTS ts_accountdetailflow_bu$$
CREATE TRIGGER ts_accountdetailflow_bu BEFORE UPDATE ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(OLD.Bid, NEW.Bid, NEW.AccountID <=> OLD.AccountID) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '收支流水由单据生成，不允许直接修改！';
  END IF;
  SET NEW.IOAmount = IFNULL(NEW.IOAmount, 0);
  IF NEW.Bid = '-99' THEN
    SET NEW.SrcTable = '', NEW.SrcPart = 0;
  END IF;
END$$

CREATE TRIGGER ts_accountdetailflow_bd BEFORE DELETE ON ts_accountdetailflow
FOR EACH ROW
BEGIN
  IF NOT vlt_client_flow_write(OLD.Bid, NULL, 1) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '收支流水由单据生成，不允许直接修改！';
  END IF;
END$$

CREATE TRIGGER ts_userpower_bi BEFORE INSERT ON ts_userpower
FOR EACH ROW
BEGIN
  IF @vlt_operator <=> 1 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套所有者可以修改操作员权限！';
  END IF;
END$$

CREATE TRIGGER ts_userpower_bu BEFORE UPDATE ON ts_userpower
FOR EACH ROW
BEGIN
  IF @vlt_operator <=> 1 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套所有者可以修改操作员权限！';
  END IF;
END$$

CREATE TRIGGER ts_userpower_bd BEFORE DELETE ON ts_userpower
FOR EACH ROW
BEGIN
  IF @vlt_operator <=> 1 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套所有者可以修改操作员权限！';
  END IF;
END$$

DELIMITER ;
