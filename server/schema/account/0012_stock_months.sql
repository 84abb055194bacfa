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

-- Adds p_qty and p_lines movements to the goods' month of p_date (nothing without a date).
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
    IF p_lines < 0 THEN
      DELETE FROM ts_goodsmonthflow WHERE Month = v_month AND GoodsID = p_goods AND Moves = 0;
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

-- stock-in

CREATE TRIGGER tb_sto_in_au_month AFTER UPDATE ON tb_sto_in
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

-- stock-out

CREATE TRIGGER tb_sto_out_au_month AFTER UPDATE ON tb_sto_out
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

-- purchase

CREATE TRIGGER tb_pur_purchase_au_month AFTER UPDATE ON tb_pur_purchase
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

-- sales return

CREATE TRIGGER tb_sal_back_au_month AFTER UPDATE ON tb_sal_back
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

-- sale

CREATE TRIGGER tb_sal_sale_au_month AFTER UPDATE ON tb_sal_sale
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

-- purchase return

CREATE TRIGGER tb_pur_back_au_month AFTER UPDATE ON tb_pur_back
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
