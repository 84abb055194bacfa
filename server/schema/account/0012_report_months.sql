-- Stock per goods and month, kept by triggers, so that the opening stock of a period sums the
-- months before it and the days of its first month instead of every line of the history.
--
-- ts_goodsmonthflow holds, per goods and calendar month (Month is its first day), the signed sum
-- and the number of the stock movements dated in that month, exactly the rows view_storebillflow
-- gives for it. A row goes when its last movement goes, so that a goods shows in the opening
-- stock exactly when it moved before. Movements of bills without a date count in no month, as
-- they count in no dated range. Only the triggers below write it (@vlt_derived_write).

CREATE TABLE ts_goodsmonthflow (
  Month   DATE           NOT NULL,
  GoodsID VARCHAR(15)    NOT NULL,
  Qty     DECIMAL(25, 4) NOT NULL DEFAULT 0,
  Moves   INT            NOT NULL DEFAULT 0,
  PRIMARY KEY (Month, GoodsID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO ts_goodsmonthflow (Month, GoodsID, Qty, Moves)
SELECT DATE_SUB(bdate, INTERVAL DAYOFMONTH(bdate) - 1 DAY), GoodsID, SUM(qty * ioDirect), COUNT(*)
  FROM view_storebillflow
 WHERE bdate IS NOT NULL
 GROUP BY 1, 2;

-- The same per goods and calendar year (Year is its first day), so that a long history is read
-- a year at a time.
CREATE TABLE ts_goodsyearflow (
  Year    DATE           NOT NULL,
  GoodsID VARCHAR(15)    NOT NULL,
  Qty     DECIMAL(25, 4) NOT NULL DEFAULT 0,
  Moves   INT            NOT NULL DEFAULT 0,
  PRIMARY KEY (Year, GoodsID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO ts_goodsyearflow (Year, GoodsID, Qty, Moves)
SELECT MAKEDATE(YEAR(Month), 1), GoodsID, SUM(Qty), SUM(Moves)
  FROM ts_goodsmonthflow
 GROUP BY 1, 2;

DELIMITER $$

CREATE TRIGGER ts_goodsmonthflow_bi BEFORE INSERT ON ts_goodsmonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_goodsmonthflow_bu BEFORE UPDATE ON ts_goodsmonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_goodsmonthflow_bd BEFORE DELETE ON ts_goodsmonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_goodsyearflow_bi BEFORE INSERT ON ts_goodsyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_goodsyearflow_bu BEFORE UPDATE ON ts_goodsyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_goodsyearflow_bd BEFORE DELETE ON ts_goodsyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '库存月结数据由系统维护，不允许修改！';
  END IF;
END$$

-- The date a bill's lines move stock on: its date, or NULL when it moves none (a trade bill
-- whose stock goes through stock bills) or does not exist (its lines are going with it).
CREATE FUNCTION vlt_stock_date(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS DATE
  READS SQL DATA
BEGIN
  RETURN CASE p_table
    WHEN 'tb_sto_in' THEN (SELECT BDate FROM tb_sto_in WHERE Bid = p_bid)
    WHEN 'tb_sto_out' THEN (SELECT BDate FROM tb_sto_out WHERE Bid = p_bid)
    WHEN 'tb_pur_purchase' THEN (SELECT IF(IsStoreIO = 'True', BDate, NULL) FROM tb_pur_purchase WHERE Bid = p_bid)
    WHEN 'tb_sal_back' THEN (SELECT IF(IsStoreIO = 'True', BDate, NULL) FROM tb_sal_back WHERE Bid = p_bid)
    WHEN 'tb_sal_sale' THEN (SELECT IF(IsStoreIO = 'True', BDate, NULL) FROM tb_sal_sale WHERE Bid = p_bid)
    WHEN 'tb_pur_back' THEN (SELECT IF(IsStoreIO = 'True', BDate, NULL) FROM tb_pur_back WHERE Bid = p_bid)
    ELSE NULL
  END;
END$$

-- Adds p_qty and p_lines movements to the goods' month and year of p_date (nothing without a
-- date).
CREATE PROCEDURE vlt_add_goods_month(IN p_goods VARCHAR(15), IN p_date DATE,
                                     IN p_qty DECIMAL(25, 4), IN p_lines INT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_month DATE;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  IF p_date IS NOT NULL AND p_lines <> 0 THEN
    SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
    SET v_month = DATE_SUB(p_date, INTERVAL DAYOFMONTH(p_date) - 1 DAY);
    INSERT INTO ts_goodsmonthflow (Month, GoodsID, Qty, Moves)
    VALUES (v_month, p_goods, p_qty, p_lines)
    ON DUPLICATE KEY UPDATE Qty = Qty + VALUES(Qty), Moves = Moves + VALUES(Moves);
    INSERT INTO ts_goodsyearflow (Year, GoodsID, Qty, Moves)
    VALUES (MAKEDATE(YEAR(p_date), 1), p_goods, p_qty, p_lines)
    ON DUPLICATE KEY UPDATE Qty = Qty + VALUES(Qty), Moves = Moves + VALUES(Moves);
    IF p_lines < 0 THEN
      DELETE FROM ts_goodsmonthflow WHERE Month = v_month AND GoodsID = p_goods AND Moves = 0;
      DELETE FROM ts_goodsyearflow
       WHERE Year = MAKEDATE(YEAR(p_date), 1) AND GoodsID = p_goods AND Moves = 0;
    END IF;
    SET @vlt_derived_write = @vlt_derived_write - 1;
  END IF;
END$$

-- Adds (p_sign 1) or takes back (p_sign -1) every line of a bill as of stock date p_date.
CREATE PROCEDURE vlt_add_bill_goods_months(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                           IN p_date DATE, IN p_sign INT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_done INT DEFAULT 0;
  DECLARE v_goods VARCHAR(15);
  DECLARE v_qty DECIMAL(25, 4);
  DECLARE v_lines INT;
  DECLARE c_lines CURSOR FOR
      SELECT GoodsID, 1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_sto_in_d
       WHERE p_table = 'tb_sto_in' AND Bid = p_bid GROUP BY GoodsID
      UNION ALL
      SELECT GoodsID, -1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_sto_out_d
       WHERE p_table = 'tb_sto_out' AND Bid = p_bid GROUP BY GoodsID
      UNION ALL
      SELECT GoodsID, 1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_pur_purchase_d
       WHERE p_table = 'tb_pur_purchase' AND Bid = p_bid GROUP BY GoodsID
      UNION ALL
      SELECT GoodsID, 1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_sal_back_d
       WHERE p_table = 'tb_sal_back' AND Bid = p_bid GROUP BY GoodsID
      UNION ALL
      SELECT GoodsID, -1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_sal_sale_d
       WHERE p_table = 'tb_sal_sale' AND Bid = p_bid GROUP BY GoodsID
      UNION ALL
      SELECT GoodsID, -1 * SUM(IFNULL(Qty, 0)), COUNT(*) FROM tb_pur_back_d
       WHERE p_table = 'tb_pur_back' AND Bid = p_bid GROUP BY GoodsID;
  DECLARE CONTINUE HANDLER FOR NOT FOUND SET v_done = 1;
  IF p_date IS NOT NULL THEN
    OPEN c_lines;
    lines_loop: LOOP
      FETCH c_lines INTO v_goods, v_qty, v_lines;
      IF v_done THEN
        LEAVE lines_loop;
      END IF;
      CALL vlt_add_goods_month(v_goods, p_date, p_sign * v_qty, p_sign * v_lines);
    END LOOP;
    CLOSE c_lines;
  END IF;
END$$

-- stock-in: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_sto_in_bu_month BEFORE UPDATE ON tb_sto_in
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_goods_months('tb_sto_in', OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_goods_months('tb_sto_in', NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_sto_in_bd_month BEFORE DELETE ON tb_sto_in
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_sto_in', OLD.Bid, OLD.BDate, -1);
END$$

CREATE TRIGGER tb_sto_in_d_ai_month AFTER INSERT ON tb_sto_in_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sto_in', NEW.Bid), 1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_sto_in_d_au_month AFTER UPDATE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sto_in', OLD.Bid),
                             -1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sto_in', NEW.Bid),
                             1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_sto_in_d_ad_month AFTER DELETE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sto_in', OLD.Bid), -1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

-- stock-out: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_sto_out_bu_month BEFORE UPDATE ON tb_sto_out
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_goods_months('tb_sto_out', OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_goods_months('tb_sto_out', NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_sto_out_bd_month BEFORE DELETE ON tb_sto_out
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_sto_out', OLD.Bid, OLD.BDate, -1);
END$$

CREATE TRIGGER tb_sto_out_d_ai_month AFTER INSERT ON tb_sto_out_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sto_out', NEW.Bid), -1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_sto_out_d_au_month AFTER UPDATE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sto_out', OLD.Bid),
                             1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sto_out', NEW.Bid),
                             -1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_sto_out_d_ad_month AFTER DELETE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sto_out', OLD.Bid), 1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

-- purchase: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_pur_purchase_bu_month BEFORE UPDATE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate AND NEW.IsStoreIO <=> OLD.IsStoreIO) THEN
    CALL vlt_add_bill_goods_months('tb_pur_purchase', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
    CALL vlt_add_bill_goods_months('tb_pur_purchase', NEW.Bid, IF(NEW.IsStoreIO = 'True', NEW.BDate, NULL), 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_pur_purchase_bd_month BEFORE DELETE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_pur_purchase', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
END$$

CREATE TRIGGER tb_pur_purchase_d_ai_month AFTER INSERT ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_pur_purchase', NEW.Bid), 1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_pur_purchase_d_au_month AFTER UPDATE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_pur_purchase', OLD.Bid),
                             -1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_pur_purchase', NEW.Bid),
                             1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_d_ad_month AFTER DELETE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_pur_purchase', OLD.Bid), -1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

-- sales return: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_sal_back_bu_month BEFORE UPDATE ON tb_sal_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate AND NEW.IsStoreIO <=> OLD.IsStoreIO) THEN
    CALL vlt_add_bill_goods_months('tb_sal_back', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
    CALL vlt_add_bill_goods_months('tb_sal_back', NEW.Bid, IF(NEW.IsStoreIO = 'True', NEW.BDate, NULL), 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_sal_back_bd_month BEFORE DELETE ON tb_sal_back
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_sal_back', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
END$$

CREATE TRIGGER tb_sal_back_d_ai_month AFTER INSERT ON tb_sal_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sal_back', NEW.Bid), 1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_sal_back_d_au_month AFTER UPDATE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sal_back', OLD.Bid),
                             -1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sal_back', NEW.Bid),
                             1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_sal_back_d_ad_month AFTER DELETE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sal_back', OLD.Bid), -1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

-- sale: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_sal_sale_bu_month BEFORE UPDATE ON tb_sal_sale
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate AND NEW.IsStoreIO <=> OLD.IsStoreIO) THEN
    CALL vlt_add_bill_goods_months('tb_sal_sale', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
    CALL vlt_add_bill_goods_months('tb_sal_sale', NEW.Bid, IF(NEW.IsStoreIO = 'True', NEW.BDate, NULL), 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_sal_sale_bd_month BEFORE DELETE ON tb_sal_sale
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_sal_sale', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
END$$

CREATE TRIGGER tb_sal_sale_d_ai_month AFTER INSERT ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sal_sale', NEW.Bid), -1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_sal_sale_d_au_month AFTER UPDATE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sal_sale', OLD.Bid),
                             1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_sal_sale', NEW.Bid),
                             -1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_d_ad_month AFTER DELETE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_sal_sale', OLD.Bid), 1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

-- purchase return: the lines move with their bill before it changes, so that line changes made
-- by its other triggers meet the new date.

CREATE TRIGGER tb_pur_back_bu_month BEFORE UPDATE ON tb_pur_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.BDate <=> OLD.BDate AND NEW.IsStoreIO <=> OLD.IsStoreIO) THEN
    CALL vlt_add_bill_goods_months('tb_pur_back', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
    CALL vlt_add_bill_goods_months('tb_pur_back', NEW.Bid, IF(NEW.IsStoreIO = 'True', NEW.BDate, NULL), 1);
  END IF;
END$$

-- The lines are deleted after the bill, when their date is gone: they go here.
CREATE TRIGGER tb_pur_back_bd_month BEFORE DELETE ON tb_pur_back
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_goods_months('tb_pur_back', OLD.Bid, IF(OLD.IsStoreIO = 'True', OLD.BDate, NULL), -1);
END$$

CREATE TRIGGER tb_pur_back_d_ai_month AFTER INSERT ON tb_pur_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_pur_back', NEW.Bid), -1 * IFNULL(NEW.Qty, 0), 1);
END$$

CREATE TRIGGER tb_pur_back_d_au_month AFTER UPDATE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.GoodsID <=> OLD.GoodsID AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_pur_back', OLD.Bid),
                             1 * IFNULL(OLD.Qty, 0), -1);
    CALL vlt_add_goods_month(NEW.GoodsID, vlt_stock_date('tb_pur_back', NEW.Bid),
                             -1 * IFNULL(NEW.Qty, 0), 1);
  END IF;
END$$

CREATE TRIGGER tb_pur_back_d_ad_month AFTER DELETE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_goods_month(OLD.GoodsID, vlt_stock_date('tb_pur_back', OLD.Bid), 1 * IFNULL(OLD.Qty, 0),
                           -1);
END$$

DELIMITER ;

-- Trader movements per trader and month, kept by triggers, so that the opening balances of a
-- period sum the months before it and the days of its first month instead of every movement.
--
-- ts_tradermonthflow holds, per trader and calendar month (Month is its first day), what the
-- movements dated in that month give: a movement is dated by every bill carrying its Bid (as
-- view_billflow joins them), opening rows ('-99') and undated bills in no month. Amount sums the
-- signed amounts, Moves counts the movements and Valued those with an amount, so that a trader
-- shows exactly when it moved before and its balance stays empty when no movement had an amount.
-- Only the triggers below write it (@vlt_derived_write).

CREATE TABLE ts_tradermonthflow (
  Month    DATE           NOT NULL,
  TraderID VARCHAR(15)    NOT NULL,
  Amount   DECIMAL(25, 4) NOT NULL DEFAULT 0,
  Moves    INT            NOT NULL DEFAULT 0,
  Valued   INT            NOT NULL DEFAULT 0,
  PRIMARY KEY (Month, TraderID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO ts_tradermonthflow (Month, TraderID, Amount, Moves, Valued)
SELECT DATE_SUB(v.bdate, INTERVAL DAYOFMONTH(v.bdate) - 1 DAY), m.TraderID,
       IFNULL(SUM(m.IOAmount * m.IODirection), 0), COUNT(*), COUNT(m.IOAmount * m.IODirection)
  FROM ts_traderbalancedetailflow m JOIN view_billflow v ON v.bid = m.Bid
 WHERE v.bdate IS NOT NULL AND m.Bid <> '-99' AND m.TraderID IS NOT NULL
 GROUP BY 1, 2;

-- The same per trader and calendar year (Year is its first day), so that a long history is
-- read a year at a time.
CREATE TABLE ts_traderyearflow (
  Year     DATE           NOT NULL,
  TraderID VARCHAR(15)    NOT NULL,
  Amount   DECIMAL(25, 4) NOT NULL DEFAULT 0,
  Moves    INT            NOT NULL DEFAULT 0,
  Valued   INT            NOT NULL DEFAULT 0,
  PRIMARY KEY (Year, TraderID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO ts_traderyearflow (Year, TraderID, Amount, Moves, Valued)
SELECT MAKEDATE(YEAR(Month), 1), TraderID, SUM(Amount), SUM(Moves), SUM(Valued)
  FROM ts_tradermonthflow
 GROUP BY 1, 2;

DELIMITER $$

CREATE TRIGGER ts_tradermonthflow_bi BEFORE INSERT ON ts_tradermonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_tradermonthflow_bu BEFORE UPDATE ON ts_tradermonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_tradermonthflow_bd BEFORE DELETE ON ts_tradermonthflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_traderyearflow_bi BEFORE INSERT ON ts_traderyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_traderyearflow_bu BEFORE UPDATE ON ts_traderyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

CREATE TRIGGER ts_traderyearflow_bd BEFORE DELETE ON ts_traderyearflow
FOR EACH ROW
BEGIN
  IF IFNULL(@vlt_derived_write, 0) <= 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '往来月结数据由系统维护，不允许修改！';
  END IF;
END$$

-- Adds to the trader's month and year of p_date (nothing without a date or trader).
CREATE PROCEDURE vlt_add_trader_month(IN p_trader VARCHAR(15), IN p_date DATE,
                                      IN p_amount DECIMAL(25, 4), IN p_moves INT,
                                      IN p_valued INT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_month DATE;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  IF p_date IS NOT NULL AND p_trader IS NOT NULL AND p_moves <> 0 THEN
    SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
    SET v_month = DATE_SUB(p_date, INTERVAL DAYOFMONTH(p_date) - 1 DAY);
    INSERT INTO ts_tradermonthflow (Month, TraderID, Amount, Moves, Valued)
    VALUES (v_month, p_trader, IFNULL(p_amount, 0), p_moves, p_valued)
    ON DUPLICATE KEY UPDATE Amount = Amount + VALUES(Amount), Moves = Moves + VALUES(Moves),
                            Valued = Valued + VALUES(Valued);
    INSERT INTO ts_traderyearflow (Year, TraderID, Amount, Moves, Valued)
    VALUES (MAKEDATE(YEAR(p_date), 1), p_trader, IFNULL(p_amount, 0), p_moves, p_valued)
    ON DUPLICATE KEY UPDATE Amount = Amount + VALUES(Amount), Moves = Moves + VALUES(Moves),
                            Valued = Valued + VALUES(Valued);
    IF p_moves < 0 THEN
      DELETE FROM ts_tradermonthflow WHERE Month = v_month AND TraderID = p_trader AND Moves = 0;
      DELETE FROM ts_traderyearflow
       WHERE Year = MAKEDATE(YEAR(p_date), 1) AND TraderID = p_trader AND Moves = 0;
    END IF;
    SET @vlt_derived_write = @vlt_derived_write - 1;
  END IF;
END$$

-- Adds (p_sign 1) or takes back (p_sign -1) one movement, in the month of every bill carrying
-- its Bid.
CREATE PROCEDURE vlt_add_trader_flow_month(IN p_bid VARCHAR(15), IN p_trader VARCHAR(15),
                                           IN p_amount DECIMAL(25, 4), IN p_sign INT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_date DATE;
  IF p_bid <> '-99' AND p_trader IS NOT NULL THEN
    SET v_date = (SELECT BDate FROM tb_pur_order WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_pur_purchase WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_pur_back WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_sal_order WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_sal_sale WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_sal_back WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_sto_in WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_sto_out WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_bal_gathering WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_bal_payment WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
    SET v_date = (SELECT BDate FROM tb_acc_io WHERE Bid = p_bid);
    CALL vlt_add_trader_month(p_trader, v_date, p_sign * p_amount, p_sign,
                              p_sign * (p_amount IS NOT NULL));
  END IF;
END$$

-- Adds (p_sign 1) or takes back (p_sign -1) every movement of a bill as of its date p_date.
CREATE PROCEDURE vlt_add_bill_trader_months(IN p_bid VARCHAR(15), IN p_date DATE, IN p_sign INT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_done INT DEFAULT 0;
  DECLARE v_trader VARCHAR(15);
  DECLARE v_amount DECIMAL(25, 4);
  DECLARE v_moves INT;
  DECLARE v_valued INT;
  DECLARE c_moves CURSOR FOR
    SELECT TraderID, SUM(IOAmount * IODirection), COUNT(*), COUNT(IOAmount * IODirection)
      FROM ts_traderbalancedetailflow
     WHERE Bid = p_bid AND Bid <> '-99' AND TraderID IS NOT NULL
     GROUP BY TraderID;
  DECLARE CONTINUE HANDLER FOR NOT FOUND SET v_done = 1;
  IF p_date IS NOT NULL THEN
    OPEN c_moves;
    moves_loop: LOOP
      FETCH c_moves INTO v_trader, v_amount, v_moves, v_valued;
      IF v_done THEN
        LEAVE moves_loop;
      END IF;
      CALL vlt_add_trader_month(v_trader, p_date, p_sign * v_amount, p_sign * v_moves,
                                p_sign * v_valued);
    END LOOP;
    CLOSE c_moves;
  END IF;
END$$

CREATE TRIGGER ts_traderbalancedetailflow_ai_month AFTER INSERT ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_trader_flow_month(NEW.Bid, NEW.TraderID, NEW.IOAmount * NEW.IODirection, 1);
END$$

CREATE TRIGGER ts_traderbalancedetailflow_au_month AFTER UPDATE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.TraderID <=> OLD.TraderID
          AND NEW.IOAmount <=> OLD.IOAmount AND NEW.IODirection <=> OLD.IODirection) THEN
    CALL vlt_add_trader_flow_month(OLD.Bid, OLD.TraderID, OLD.IOAmount * OLD.IODirection, -1);
    CALL vlt_add_trader_flow_month(NEW.Bid, NEW.TraderID, NEW.IOAmount * NEW.IODirection, 1);
  END IF;
END$$

-- A bill's movements are dropped after the bill, when its date is gone: they go here.
CREATE TRIGGER ts_traderbalancedetailflow_ad_month AFTER DELETE ON ts_traderbalancedetailflow
FOR EACH ROW
BEGIN
  CALL vlt_add_trader_flow_month(OLD.Bid, OLD.TraderID, OLD.IOAmount * OLD.IODirection, -1);
END$$

-- tb_pur_order: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_pur_order_bu_tradermonth BEFORE UPDATE ON tb_pur_order
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_pur_order_bd_tradermonth BEFORE DELETE ON tb_pur_order
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_pur_purchase: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_pur_purchase_bu_tradermonth BEFORE UPDATE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_bd_tradermonth BEFORE DELETE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_pur_back: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_pur_back_bu_tradermonth BEFORE UPDATE ON tb_pur_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_pur_back_bd_tradermonth BEFORE DELETE ON tb_pur_back
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_sal_order: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_sal_order_bu_tradermonth BEFORE UPDATE ON tb_sal_order
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_sal_order_bd_tradermonth BEFORE DELETE ON tb_sal_order
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_sal_sale: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_sal_sale_bu_tradermonth BEFORE UPDATE ON tb_sal_sale
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_bd_tradermonth BEFORE DELETE ON tb_sal_sale
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_sal_back: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_sal_back_bu_tradermonth BEFORE UPDATE ON tb_sal_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_sal_back_bd_tradermonth BEFORE DELETE ON tb_sal_back
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_sto_in: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_sto_in_bu_tradermonth BEFORE UPDATE ON tb_sto_in
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_sto_in_bd_tradermonth BEFORE DELETE ON tb_sto_in
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_sto_out: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_sto_out_bu_tradermonth BEFORE UPDATE ON tb_sto_out
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_sto_out_bd_tradermonth BEFORE DELETE ON tb_sto_out
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_bal_gathering: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_bal_gathering_bu_tradermonth BEFORE UPDATE ON tb_bal_gathering
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_bal_gathering_bd_tradermonth BEFORE DELETE ON tb_bal_gathering
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_bal_payment: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_bal_payment_bu_tradermonth BEFORE UPDATE ON tb_bal_payment
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_bal_payment_bd_tradermonth BEFORE DELETE ON tb_bal_payment
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

-- tb_acc_io: a bill's movements move with it before it changes, so that changes its other
-- triggers make to them meet the new date. (A new bill has no movements yet: Bids come from the
-- service's id blocks, one bill each.)
CREATE TRIGGER tb_acc_io_bu_tradermonth BEFORE UPDATE ON tb_acc_io
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.BDate <=> OLD.BDate) THEN
    CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
    CALL vlt_add_bill_trader_months(NEW.Bid, NEW.BDate, 1);
  END IF;
END$$

CREATE TRIGGER tb_acc_io_bd_tradermonth BEFORE DELETE ON tb_acc_io
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_trader_months(OLD.Bid, OLD.BDate, -1);
END$$

DELIMITER ;
