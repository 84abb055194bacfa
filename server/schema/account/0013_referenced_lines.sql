-- Lines that later lines were taken from.
--
-- A whole bill that later lines refer to cannot be deleted (0011); neither can one of its
-- referenced lines, nor can such a line change its goods or move to another key: the later lines
-- would point at nothing, or at other goods. Its quantity may grow, and may shrink down to what
-- the later lines hold of it: for an order what the purchase (sale) lines executed, for a
-- purchase (sale) the larger of what stock lines executed and what its returns hold, for a
-- return what stock lines executed. Below that, done quantities would pass the line's own
-- quantity and returns would exceed what was bought.
--
-- The triggers' own writes (doneQty given by follow-up lines, the IsStoreIO switch) are derived
-- writes and pass unchecked. The line's bill is already locked by the earlier triggers of the
-- same event, and a later line locks its source bill before it is added, so the sums read here
-- cannot be overtaken by a later line saved at the same time.

DELIMITER $$

-- What the later lines hold of one source line; NULL when no later line refers to it. Read with
-- shared locks, so that later lines committed meanwhile are seen.
CREATE FUNCTION vlt_line_taken_qty(p_source VARCHAR(32), p_bid VARCHAR(15), p_bno INT)
  RETURNS DECIMAL(17, 4)
  NOT DETERMINISTIC READS SQL DATA
BEGIN
  DECLARE v_count INT DEFAULT 0;
  DECLARE v_qty DECIMAL(17, 4) DEFAULT 0;
  DECLARE v_more_count INT DEFAULT 0;
  DECLARE v_more_qty DECIMAL(17, 4) DEFAULT 0;
  CASE p_source
    WHEN 'tb_pur_order' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_pur_purchase_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3000
        LOCK IN SHARE MODE;
    WHEN 'tb_pur_purchase' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_sto_in_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3100
        LOCK IN SHARE MODE;
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_more_count, v_more_qty FROM tb_pur_back_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3100
        LOCK IN SHARE MODE;
    WHEN 'tb_pur_back' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_sto_out_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3200
        LOCK IN SHARE MODE;
    WHEN 'tb_sal_order' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_sal_sale_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3300
        LOCK IN SHARE MODE;
    WHEN 'tb_sal_sale' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_sto_out_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3400
        LOCK IN SHARE MODE;
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_more_count, v_more_qty FROM tb_sal_back_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3400
        LOCK IN SHARE MODE;
    WHEN 'tb_sal_back' THEN
      SELECT COUNT(*), IFNULL(SUM(Qty), 0) INTO v_count, v_qty FROM tb_sto_in_d
        WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3500
        LOCK IN SHARE MODE;
    ELSE
      SET v_count = 0;
  END CASE;
  IF v_count + v_more_count = 0 THEN
    RETURN NULL;
  END IF;
  RETURN GREATEST(v_qty, v_more_qty);
END$$

CREATE PROCEDURE vlt_check_delete_line(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                       IN p_bno INT)
  READS SQL DATA
BEGIN
  IF vlt_line_taken_qty(p_table, p_bid, p_bno) IS NOT NULL THEN
    SIGNAL SQLSTATE '45000'
      SET MESSAGE_TEXT = '单据已被引用，请先删除引用该单的单据后，再删除！';
  END IF;
END$$

-- A client's change of a line (OLD values p_bid, p_bno, p_goods, p_qty; NEW values p_new_*).
CREATE PROCEDURE vlt_check_update_line(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                       IN p_bno INT, IN p_goods VARCHAR(15),
                                       IN p_qty DECIMAL(17, 4), IN p_new_bid VARCHAR(15),
                                       IN p_new_bno INT, IN p_new_goods VARCHAR(15),
                                       IN p_new_qty DECIMAL(17, 4))
  READS SQL DATA
BEGIN
  DECLARE v_taken DECIMAL(17, 4);
  DECLARE v_message VARCHAR(255);
  -- Price, remark or Pause changes, and growing the quantity, need no look at later lines.
  IF NOT (p_new_bid <=> p_bid AND p_new_bno <=> p_bno AND p_new_goods <=> p_goods)
     OR IFNULL(p_new_qty, 0) < IFNULL(p_qty, 0) THEN
    SET v_taken = vlt_line_taken_qty(p_table, p_bid, p_bno);
    IF v_taken IS NOT NULL THEN
      IF NOT (p_new_bid <=> p_bid AND p_new_bno <=> p_bno) THEN
        SIGNAL SQLSTATE '45000'
          SET MESSAGE_TEXT = '单据已被引用，该行已被后续单据引用，不能移到其他单据或行号！';
      END IF;
      IF NOT (p_new_goods <=> p_goods) THEN
        SIGNAL SQLSTATE '45000'
          SET MESSAGE_TEXT = '单据已被引用，该行已被后续单据引用，不能更换商品！';
      END IF;
      IF IFNULL(p_new_qty, 0) < v_taken AND IFNULL(p_new_qty, 0) < IFNULL(p_qty, 0) THEN
        SET v_message = CONCAT('单据已被引用，该行数量不能少于后续单据已引用的数量 ',
                               vlt_qty_text(v_taken), '！');
        SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = v_message;
      END IF;
    END IF;
  END IF;
END$$

-- ---- the six bills whose lines later lines are taken from ------------------------------------
-- After the existing BEFORE triggers of each table (created later, so they run later and find
-- the bill locked).

CREATE TRIGGER tb_pur_order_d_bd_refs BEFORE DELETE ON tb_pur_order_d
FOR EACH ROW CALL vlt_check_delete_line('tb_pur_order', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_pur_order_d_bu_refs BEFORE UPDATE ON tb_pur_order_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_pur_order', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty, NEW.Bid,
                               NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_d_bd_refs BEFORE DELETE ON tb_pur_purchase_d
FOR EACH ROW CALL vlt_check_delete_line('tb_pur_purchase', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_pur_purchase_d_bu_refs BEFORE UPDATE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_pur_purchase', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty,
                               NEW.Bid, NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_pur_back_d_bd_refs BEFORE DELETE ON tb_pur_back_d
FOR EACH ROW CALL vlt_check_delete_line('tb_pur_back', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_pur_back_d_bu_refs BEFORE UPDATE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_pur_back', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty, NEW.Bid,
                               NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sal_order_d_bd_refs BEFORE DELETE ON tb_sal_order_d
FOR EACH ROW CALL vlt_check_delete_line('tb_sal_order', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_sal_order_d_bu_refs BEFORE UPDATE ON tb_sal_order_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_sal_order', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty, NEW.Bid,
                               NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_d_bd_refs BEFORE DELETE ON tb_sal_sale_d
FOR EACH ROW CALL vlt_check_delete_line('tb_sal_sale', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_sal_sale_d_bu_refs BEFORE UPDATE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_sal_sale', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty, NEW.Bid,
                               NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

CREATE TRIGGER tb_sal_back_d_bd_refs BEFORE DELETE ON tb_sal_back_d
FOR EACH ROW CALL vlt_check_delete_line('tb_sal_back', OLD.Bid, OLD.BNo)$$

CREATE TRIGGER tb_sal_back_d_bu_refs BEFORE UPDATE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_update_line('tb_sal_back', OLD.Bid, OLD.BNo, OLD.GoodsID, OLD.Qty, NEW.Bid,
                               NEW.BNo, NEW.GoodsID, NEW.Qty);
  END IF;
END$$

DELIMITER ;
