-- Bills that later bills refer to.
--
-- A line taken from a line of an earlier bill names it by RelationBid, RelationBNo and
-- RelationKind. Such an earlier bill cannot be deleted while the later lines exist (they would
-- point at nothing and the earlier bill's done quantities could not be given back); deleting
-- the later bills first frees it. A line can only be taken from a line that exists, which is
-- checked under the earlier bill's lock, so that a delete running at the same time either sees
-- the new line or makes the new line fail.
--
-- Returns: what is still returnable of a purchase (sale) line is its quantity less what the
-- purchase (sales) return lines taken from it hold. A return line that would return more is
-- refused. view_pur_returnable and view_sal_returnable list it per line for the return dialogs.

DELIMITER $$

-- Locks the bill's master row; true when the bill is named by a line of a later bill
-- (payments and receipts do not count: they refer to no line). The lines are read with shared
-- locks, so that a line another save added and committed meanwhile is seen.
CREATE FUNCTION vlt_bill_referenced(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS TINYINT
  NOT DETERMINISTIC READS SQL DATA
BEGIN
  DECLARE v_count INT DEFAULT 0;
  DECLARE v_more INT DEFAULT 0;
  CASE p_table
    WHEN 'tb_pur_order' THEN
      SELECT COUNT(*) INTO v_count FROM tb_pur_purchase_d
        WHERE RelationBid = p_bid AND RelationKind = 3000 LOCK IN SHARE MODE;
    WHEN 'tb_pur_purchase' THEN
      SELECT COUNT(*) INTO v_count FROM tb_sto_in_d
        WHERE RelationBid = p_bid AND RelationKind = 3100 LOCK IN SHARE MODE;
      SELECT COUNT(*) INTO v_more FROM tb_pur_back_d
        WHERE RelationBid = p_bid AND RelationKind = 3100 LOCK IN SHARE MODE;
    WHEN 'tb_pur_back' THEN
      SELECT COUNT(*) INTO v_count FROM tb_sto_out_d
        WHERE RelationBid = p_bid AND RelationKind = 3200 LOCK IN SHARE MODE;
    WHEN 'tb_sal_order' THEN
      SELECT COUNT(*) INTO v_count FROM tb_sal_sale_d
        WHERE RelationBid = p_bid AND RelationKind = 3300 LOCK IN SHARE MODE;
    WHEN 'tb_sal_sale' THEN
      SELECT COUNT(*) INTO v_count FROM tb_sto_out_d
        WHERE RelationBid = p_bid AND RelationKind = 3400 LOCK IN SHARE MODE;
      SELECT COUNT(*) INTO v_more FROM tb_sal_back_d
        WHERE RelationBid = p_bid AND RelationKind = 3400 LOCK IN SHARE MODE;
    WHEN 'tb_sal_back' THEN
      SELECT COUNT(*) INTO v_count FROM tb_sto_in_d
        WHERE RelationBid = p_bid AND RelationKind = 3500 LOCK IN SHARE MODE;
    ELSE
      SET v_count = 0;
  END CASE;
  RETURN v_count + v_more > 0;
END$$

CREATE PROCEDURE vlt_check_delete_bill(IN p_table VARCHAR(32), IN p_bid VARCHAR(15))
  READS SQL DATA
BEGIN
  IF vlt_bill_referenced(p_table, p_bid) THEN
    SIGNAL SQLSTATE '45000'
      SET MESSAGE_TEXT = '单据已被引用，请先删除引用该单的单据后，再删除！';
  END IF;
END$$

-- The quantity of one line of a source bill; NULL when there is no such line.
CREATE FUNCTION vlt_source_line_qty(p_source VARCHAR(32), p_bid VARCHAR(15), p_bno INT)
  RETURNS DECIMAL(17, 4)
  NOT DETERMINISTIC READS SQL DATA
RETURN CASE p_source
  WHEN 'tb_pur_order' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_pur_order_d WHERE Bid = p_bid AND BNo = p_bno)
  WHEN 'tb_pur_purchase' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_pur_purchase_d WHERE Bid = p_bid AND BNo = p_bno)
  WHEN 'tb_pur_back' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_pur_back_d WHERE Bid = p_bid AND BNo = p_bno)
  WHEN 'tb_sal_order' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_sal_order_d WHERE Bid = p_bid AND BNo = p_bno)
  WHEN 'tb_sal_sale' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_sal_sale_d WHERE Bid = p_bid AND BNo = p_bno)
  WHEN 'tb_sal_back' THEN
    (SELECT IFNULL(Qty, 0) FROM tb_sal_back_d WHERE Bid = p_bid AND BNo = p_bno)
  ELSE NULL
END$$

-- What the return lines taken from one purchase (sale) line hold.
CREATE FUNCTION vlt_returned_qty(p_source VARCHAR(32), p_bid VARCHAR(15), p_bno INT)
  RETURNS DECIMAL(17, 4)
  NOT DETERMINISTIC READS SQL DATA
RETURN IFNULL(CASE p_source
  WHEN 'tb_pur_purchase' THEN
    (SELECT SUM(Qty) FROM tb_pur_back_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3100)
  WHEN 'tb_sal_sale' THEN
    (SELECT SUM(Qty) FROM tb_sal_back_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3400)
  ELSE 0
END, 0)$$

-- A quantity as people write it: no trailing zeros after the point.
CREATE FUNCTION vlt_qty_text(p_qty DECIMAL(17, 4)) RETURNS VARCHAR(32)
  DETERMINISTIC
RETURN TRIM(TRAILING '.' FROM TRIM(TRAILING '0' FROM CAST(p_qty AS CHAR)))$$

-- A line of p_line_table (whose own quantity is p_qty) taken from source line (p_bid, p_bno) of
-- kind p_kind: the source line must exist, and a return line may not bring the returns of its
-- source line past that line's quantity. Run by the AFTER triggers, so the line's own quantity
-- is in the sums; the source bill is locked first, so parallel returns of one line queue up.
CREATE PROCEDURE vlt_check_source_line(IN p_line_table VARCHAR(32), IN p_kind SMALLINT,
                                       IN p_bid VARCHAR(15), IN p_bno INT,
                                       IN p_qty DECIMAL(17, 4))
  READS SQL DATA
BEGIN
  DECLARE v_source VARCHAR(32) DEFAULT vlt_source_table(p_kind);
  DECLARE v_qty DECIMAL(17, 4);
  DECLARE v_returned DECIMAL(17, 4);
  DECLARE v_message VARCHAR(255);
  IF IFNULL(p_bid, '') <> '' AND p_bno IS NOT NULL AND v_source IS NOT NULL THEN
    DO vlt_lock_bill(v_source, p_bid);
    SET v_qty = vlt_source_line_qty(v_source, p_bid, p_bno);
    IF v_qty IS NULL THEN
      SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '引用的源单明细不存在，可能已被删除！';
    END IF;
    IF (p_line_table, p_kind) IN (('tb_pur_back_d', 3100), ('tb_sal_back_d', 3400)) THEN
      SET v_returned = vlt_returned_qty(v_source, p_bid, p_bno);
      IF v_returned > v_qty THEN
        SET v_message = CONCAT('退货数量超过原单可退数量：该行最多还可退 ',
                               vlt_qty_text(GREATEST(v_qty - v_returned + IFNULL(p_qty, 0), 0)),
                               '！');
        SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = v_message;
      END IF;
    END IF;
  END IF;
END$$

-- ---- deleting bills ------------------------------------------------------------------------

CREATE TRIGGER tb_pur_order_bd BEFORE DELETE ON tb_pur_order
FOR EACH ROW CALL vlt_check_delete_bill('tb_pur_order', OLD.Bid)$$

CREATE TRIGGER tb_pur_purchase_bd BEFORE DELETE ON tb_pur_purchase
FOR EACH ROW CALL vlt_check_delete_bill('tb_pur_purchase', OLD.Bid)$$

CREATE TRIGGER tb_pur_back_bd BEFORE DELETE ON tb_pur_back
FOR EACH ROW CALL vlt_check_delete_bill('tb_pur_back', OLD.Bid)$$

CREATE TRIGGER tb_sal_order_bd BEFORE DELETE ON tb_sal_order
FOR EACH ROW CALL vlt_check_delete_bill('tb_sal_order', OLD.Bid)$$

CREATE TRIGGER tb_sal_sale_bd BEFORE DELETE ON tb_sal_sale
FOR EACH ROW CALL vlt_check_delete_bill('tb_sal_sale', OLD.Bid)$$

CREATE TRIGGER tb_sal_back_bd BEFORE DELETE ON tb_sal_back
FOR EACH ROW CALL vlt_check_delete_bill('tb_sal_back', OLD.Bid)$$

-- ---- lines taken from source lines ----------------------------------------------------------
-- After the existing AFTER triggers of each table (created later, so they run later).

CREATE TRIGGER tb_pur_purchase_d_ai_source AFTER INSERT ON tb_pur_purchase_d
FOR EACH ROW CALL vlt_check_source_line('tb_pur_purchase_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_pur_purchase_d_au_source AFTER UPDATE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_source_line('tb_pur_purchase_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_d_ai_source AFTER INSERT ON tb_sal_sale_d
FOR EACH ROW CALL vlt_check_source_line('tb_sal_sale_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_sal_sale_d_au_source AFTER UPDATE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_source_line('tb_sal_sale_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sto_in_d_ai_source AFTER INSERT ON tb_sto_in_d
FOR EACH ROW CALL vlt_check_source_line('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_sto_in_d_au_source AFTER UPDATE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_source_line('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sto_out_d_ai_source AFTER INSERT ON tb_sto_out_d
FOR EACH ROW CALL vlt_check_source_line('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_sto_out_d_au_source AFTER UPDATE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_source_line('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

-- A return line is checked again when its quantity grows.
CREATE TRIGGER tb_pur_back_d_ai_source AFTER INSERT ON tb_pur_back_d
FOR EACH ROW CALL vlt_check_source_line('tb_pur_back_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_pur_back_d_au_source AFTER UPDATE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind)
     OR IFNULL(NEW.Qty, 0) > IFNULL(OLD.Qty, 0) THEN
    CALL vlt_check_source_line('tb_pur_back_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sal_back_d_ai_source AFTER INSERT ON tb_sal_back_d
FOR EACH ROW CALL vlt_check_source_line('tb_sal_back_d', NEW.RelationKind, NEW.RelationBid,
                                        NEW.RelationBNo, NEW.Qty)$$

CREATE TRIGGER tb_sal_back_d_au_source AFTER UPDATE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind)
     OR IFNULL(NEW.Qty, 0) > IFNULL(OLD.Qty, 0) THEN
    CALL vlt_check_source_line('tb_sal_back_d', NEW.RelationKind, NEW.RelationBid,
                               NEW.RelationBNo, NEW.Qty);
  END IF;
END$$

DELIMITER ;

-- What is still returnable of each purchase (sale) line: Qty less the return lines taken from
-- it (ReturnedQty). The return dialogs join it on Bid, BNo.
CREATE VIEW view_pur_returnable AS
SELECT d.Bid AS Bid, d.BNo AS BNo, d.GoodsID AS GoodsID, IFNULL(d.Qty, 0) AS Qty,
       vlt_returned_qty('tb_pur_purchase', d.Bid, d.BNo) AS ReturnedQty,
       IFNULL(d.Qty, 0) - vlt_returned_qty('tb_pur_purchase', d.Bid, d.BNo) AS ReturnableQty
  FROM tb_pur_purchase_d d;

CREATE VIEW view_sal_returnable AS
SELECT d.Bid AS Bid, d.BNo AS BNo, d.GoodsID AS GoodsID, IFNULL(d.Qty, 0) AS Qty,
       vlt_returned_qty('tb_sal_sale', d.Bid, d.BNo) AS ReturnedQty,
       IFNULL(d.Qty, 0) - vlt_returned_qty('tb_sal_sale', d.Bid, d.BNo) AS ReturnableQty
  FROM tb_sal_sale_d d;
