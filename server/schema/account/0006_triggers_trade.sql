-- Triggers of the six trade bills (orders, purchases, sales and their returns).
--
-- Master rows:
--   * Finished is recomputed from the lines on every update (a client write of it is replaced
--     by the same rule); a new bill has no lines yet and starts finished.
--   * A purchase, sale or return has its own trader movement (part 1, amount = sum of its
--     lines' Amount); with IsPay 'True' every trade bill also settles AccAmt at once (part 2:
--     a trader movement and an account movement). Changing the trader, account, IsPay or
--     AccAmt moves the movements in place.
--   * Switching IsStoreIO rewrites the lines' doneQty (Qty when the bill moves its stock
--     itself, else what stock lines executed).
--   * Deleting the master deletes its lines and its movements.
-- Line rows:
--   * A line needs its bill: the master is saved first. Every change of a line locks its
--     master first (see vlt_lock_bill).
--   * doneQty belongs to the database: it is set on insert, kept on client updates, and only
--     changed by the triggers (follow-up lines, the IsStoreIO switch).
--   * Amount changes go into the bill's own movement; a line taken from a source line gives
--     its Qty to that line's doneQty (when it counts as executing it); Qty, doneQty or Pause
--     changes refresh the bill's Finished.

DELIMITER $$

-- =============================================================================================
-- tb_pur_order: purchase order

CREATE TRIGGER tb_pur_order_bi BEFORE INSERT ON tb_pur_order
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_pur_order_ai AFTER INSERT ON tb_pur_order
FOR EACH ROW
BEGIN
  CALL vlt_trade_settlement('tb_pur_order', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_pur_order_bu BEFORE UPDATE ON tb_pur_order
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_pur_order', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_order_au AFTER UPDATE ON tb_pur_order
FOR EACH ROW
BEGIN
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_pur_order', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_pur_order_ad AFTER DELETE ON tb_pur_order
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_pur_order', OLD.Bid);
  CALL vlt_drop_flows('tb_pur_order', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_pur_order_d_bi BEFORE INSERT ON tb_pur_order_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_pur_order', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_pur_order', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_pur_order_d_ai AFTER INSERT ON tb_pur_order_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_pur_order_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_pur_order', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_order_d_bu BEFORE UPDATE ON tb_pur_order_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_pur_order', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_pur_order', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_pur_order', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_order_d_au AFTER UPDATE ON tb_pur_order_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_pur_order_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_pur_order_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_pur_order', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_pur_order', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_order_d_bd BEFORE DELETE ON tb_pur_order_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_pur_order', OLD.Bid);
END$$

CREATE TRIGGER tb_pur_order_d_ad AFTER DELETE ON tb_pur_order_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_pur_order_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_pur_order', OLD.Bid);
END$$

-- =============================================================================================
-- tb_pur_purchase: purchase

CREATE TRIGGER tb_pur_purchase_bi BEFORE INSERT ON tb_pur_purchase
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_pur_purchase_ai AFTER INSERT ON tb_pur_purchase
FOR EACH ROW
BEGIN
  CALL vlt_put_bill_flow('tb_pur_purchase', NEW.Bid, NEW.TraderID, TRUE);
  CALL vlt_trade_settlement('tb_pur_purchase', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_pur_purchase_bu BEFORE UPDATE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  IF vlt_flag(NEW.IsStoreIO) <> vlt_flag(OLD.IsStoreIO) THEN
    CALL vlt_sync_auto_stock('tb_pur_purchase', NEW.Bid, vlt_flag(NEW.IsStoreIO));
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_pur_purchase', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_purchase_au AFTER UPDATE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID) THEN
    CALL vlt_put_bill_flow('tb_pur_purchase', NEW.Bid, NEW.TraderID, FALSE);
  END IF;
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_pur_purchase', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_ad AFTER DELETE ON tb_pur_purchase
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_pur_purchase', OLD.Bid);
  CALL vlt_drop_flows('tb_pur_purchase', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_pur_purchase_d_bi BEFORE INSERT ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_pur_purchase', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_pur_purchase', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_pur_purchase_d_ai AFTER INSERT ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_pur_purchase', NEW.Bid, NEW.Amount);
  CALL vlt_followup_apply('tb_pur_purchase_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_pur_purchase', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_purchase_d_bu BEFORE UPDATE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_pur_purchase', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_pur_purchase', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_pur_purchase', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_d_au AFTER UPDATE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Amount <=> OLD.Amount) THEN
    CALL vlt_add_bill_amount('tb_pur_purchase', OLD.Bid, -OLD.Amount);
    CALL vlt_add_bill_amount('tb_pur_purchase', NEW.Bid, NEW.Amount);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_pur_purchase_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_pur_purchase_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_pur_purchase', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_pur_purchase', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_purchase_d_bd BEFORE DELETE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_pur_purchase', OLD.Bid);
END$$

CREATE TRIGGER tb_pur_purchase_d_ad AFTER DELETE ON tb_pur_purchase_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_pur_purchase', OLD.Bid, -OLD.Amount);
  CALL vlt_followup_apply('tb_pur_purchase_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_pur_purchase', OLD.Bid);
END$$

-- =============================================================================================
-- tb_pur_back: purchase return

CREATE TRIGGER tb_pur_back_bi BEFORE INSERT ON tb_pur_back
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_pur_back_ai AFTER INSERT ON tb_pur_back
FOR EACH ROW
BEGIN
  CALL vlt_put_bill_flow('tb_pur_back', NEW.Bid, NEW.TraderID, TRUE);
  CALL vlt_trade_settlement('tb_pur_back', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_pur_back_bu BEFORE UPDATE ON tb_pur_back
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  IF vlt_flag(NEW.IsStoreIO) <> vlt_flag(OLD.IsStoreIO) THEN
    CALL vlt_sync_auto_stock('tb_pur_back', NEW.Bid, vlt_flag(NEW.IsStoreIO));
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_pur_back', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_back_au AFTER UPDATE ON tb_pur_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID) THEN
    CALL vlt_put_bill_flow('tb_pur_back', NEW.Bid, NEW.TraderID, FALSE);
  END IF;
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_pur_back', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_pur_back_ad AFTER DELETE ON tb_pur_back
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_pur_back', OLD.Bid);
  CALL vlt_drop_flows('tb_pur_back', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_pur_back_d_bi BEFORE INSERT ON tb_pur_back_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_pur_back', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_pur_back', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_pur_back_d_ai AFTER INSERT ON tb_pur_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_pur_back', NEW.Bid, NEW.Amount);
  CALL vlt_followup_apply('tb_pur_back_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_pur_back', NEW.Bid);
END$$

CREATE TRIGGER tb_pur_back_d_bu BEFORE UPDATE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_pur_back', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_pur_back', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_pur_back', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_back_d_au AFTER UPDATE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Amount <=> OLD.Amount) THEN
    CALL vlt_add_bill_amount('tb_pur_back', OLD.Bid, -OLD.Amount);
    CALL vlt_add_bill_amount('tb_pur_back', NEW.Bid, NEW.Amount);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_pur_back_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_pur_back_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_pur_back', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_pur_back', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_pur_back_d_bd BEFORE DELETE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_pur_back', OLD.Bid);
END$$

CREATE TRIGGER tb_pur_back_d_ad AFTER DELETE ON tb_pur_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_pur_back', OLD.Bid, -OLD.Amount);
  CALL vlt_followup_apply('tb_pur_back_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_pur_back', OLD.Bid);
END$$

-- =============================================================================================
-- tb_sal_order: sales order

CREATE TRIGGER tb_sal_order_bi BEFORE INSERT ON tb_sal_order
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_sal_order_ai AFTER INSERT ON tb_sal_order
FOR EACH ROW
BEGIN
  CALL vlt_trade_settlement('tb_sal_order', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_sal_order_bu BEFORE UPDATE ON tb_sal_order
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_sal_order', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_order_au AFTER UPDATE ON tb_sal_order
FOR EACH ROW
BEGIN
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_sal_order', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_sal_order_ad AFTER DELETE ON tb_sal_order
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_sal_order', OLD.Bid);
  CALL vlt_drop_flows('tb_sal_order', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_sal_order_d_bi BEFORE INSERT ON tb_sal_order_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_sal_order', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_sal_order', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_sal_order_d_ai AFTER INSERT ON tb_sal_order_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sal_order_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_sal_order', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_order_d_bu BEFORE UPDATE ON tb_sal_order_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_sal_order', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_sal_order', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_sal_order', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_order_d_au AFTER UPDATE ON tb_sal_order_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_sal_order_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_sal_order_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_sal_order', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_sal_order', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_order_d_bd BEFORE DELETE ON tb_sal_order_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_sal_order', OLD.Bid);
END$$

CREATE TRIGGER tb_sal_order_d_ad AFTER DELETE ON tb_sal_order_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sal_order_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_sal_order', OLD.Bid);
END$$

-- =============================================================================================
-- tb_sal_sale: sale

CREATE TRIGGER tb_sal_sale_bi BEFORE INSERT ON tb_sal_sale
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_sal_sale_ai AFTER INSERT ON tb_sal_sale
FOR EACH ROW
BEGIN
  CALL vlt_put_bill_flow('tb_sal_sale', NEW.Bid, NEW.TraderID, TRUE);
  CALL vlt_trade_settlement('tb_sal_sale', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_sal_sale_bu BEFORE UPDATE ON tb_sal_sale
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  IF vlt_flag(NEW.IsStoreIO) <> vlt_flag(OLD.IsStoreIO) THEN
    CALL vlt_sync_auto_stock('tb_sal_sale', NEW.Bid, vlt_flag(NEW.IsStoreIO));
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_sal_sale', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_sale_au AFTER UPDATE ON tb_sal_sale
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID) THEN
    CALL vlt_put_bill_flow('tb_sal_sale', NEW.Bid, NEW.TraderID, FALSE);
  END IF;
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_sal_sale', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_ad AFTER DELETE ON tb_sal_sale
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_sal_sale', OLD.Bid);
  CALL vlt_drop_flows('tb_sal_sale', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_sal_sale_d_bi BEFORE INSERT ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_sal_sale', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_sal_sale', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_sal_sale_d_ai AFTER INSERT ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_sal_sale', NEW.Bid, NEW.Amount);
  CALL vlt_followup_apply('tb_sal_sale_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_sal_sale', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_sale_d_bu BEFORE UPDATE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_sal_sale', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_sal_sale', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_sal_sale', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_d_au AFTER UPDATE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Amount <=> OLD.Amount) THEN
    CALL vlt_add_bill_amount('tb_sal_sale', OLD.Bid, -OLD.Amount);
    CALL vlt_add_bill_amount('tb_sal_sale', NEW.Bid, NEW.Amount);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_sal_sale_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_sal_sale_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_sal_sale', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_sal_sale', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_sale_d_bd BEFORE DELETE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_sal_sale', OLD.Bid);
END$$

CREATE TRIGGER tb_sal_sale_d_ad AFTER DELETE ON tb_sal_sale_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_sal_sale', OLD.Bid, -OLD.Amount);
  CALL vlt_followup_apply('tb_sal_sale_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_sal_sale', OLD.Bid);
END$$

-- =============================================================================================
-- tb_sal_back: sales return

CREATE TRIGGER tb_sal_back_bi BEFORE INSERT ON tb_sal_back
FOR EACH ROW
BEGIN
  -- lines are saved after their bill, so a new bill has none open
  SET NEW.Finished = 'True';
END$$

CREATE TRIGGER tb_sal_back_ai AFTER INSERT ON tb_sal_back
FOR EACH ROW
BEGIN
  CALL vlt_put_bill_flow('tb_sal_back', NEW.Bid, NEW.TraderID, TRUE);
  CALL vlt_trade_settlement('tb_sal_back', NEW.Bid, NULL, NEW.IsPay, NEW.TraderID,
                            NEW.AccountId, NEW.AccAmt);
END$$

CREATE TRIGGER tb_sal_back_bu BEFORE UPDATE ON tb_sal_back
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
  IF vlt_flag(NEW.IsStoreIO) <> vlt_flag(OLD.IsStoreIO) THEN
    CALL vlt_sync_auto_stock('tb_sal_back', NEW.Bid, vlt_flag(NEW.IsStoreIO));
  END IF;
  SET NEW.Finished = vlt_bill_finished('tb_sal_back', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_back_au AFTER UPDATE ON tb_sal_back
FOR EACH ROW
BEGIN
  IF NOT (NEW.TraderID <=> OLD.TraderID) THEN
    CALL vlt_put_bill_flow('tb_sal_back', NEW.Bid, NEW.TraderID, FALSE);
  END IF;
  IF NOT (vlt_flag(NEW.IsPay) <=> vlt_flag(OLD.IsPay) AND NEW.TraderID <=> OLD.TraderID
          AND NEW.AccountId <=> OLD.AccountId AND NEW.AccAmt <=> OLD.AccAmt) THEN
    CALL vlt_trade_settlement('tb_sal_back', NEW.Bid, OLD.IsPay, NEW.IsPay, NEW.TraderID,
                              NEW.AccountId, NEW.AccAmt);
  END IF;
END$$

CREATE TRIGGER tb_sal_back_ad AFTER DELETE ON tb_sal_back
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_sal_back', OLD.Bid);
  CALL vlt_drop_flows('tb_sal_back', OLD.Bid, NULL);
END$$

CREATE TRIGGER tb_sal_back_d_bi BEFORE INSERT ON tb_sal_back_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_sal_back', NEW.Bid);
  SET NEW.doneQty = vlt_line_done_qty('tb_sal_back', NEW.Bid, NEW.BNo, NEW.Qty);
END$$

CREATE TRIGGER tb_sal_back_d_ai AFTER INSERT ON tb_sal_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_sal_back', NEW.Bid, NEW.Amount);
  CALL vlt_followup_apply('tb_sal_back_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_refresh_finished('tb_sal_back', NEW.Bid);
END$$

CREATE TRIGGER tb_sal_back_d_bu BEFORE UPDATE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  -- Only the triggers write doneQty. A client's value is replaced: by the kept value, or by the
  -- derived one when the line moved to another key or its bill moves its stock itself.
  IF NOT vlt_in_derived_write() THEN
    CALL vlt_check_line_bill('tb_sal_back', NEW.Bid);
    IF NEW.Bid = OLD.Bid AND NEW.BNo = OLD.BNo
       AND NOT vlt_bill_auto_stock('tb_sal_back', NEW.Bid) THEN
      SET NEW.doneQty = OLD.doneQty;
    ELSE
      SET NEW.doneQty = vlt_line_done_qty('tb_sal_back', NEW.Bid, NEW.BNo, NEW.Qty);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_back_d_au AFTER UPDATE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Amount <=> OLD.Amount) THEN
    CALL vlt_add_bill_amount('tb_sal_back', OLD.Bid, -OLD.Amount);
    CALL vlt_add_bill_amount('tb_sal_back', NEW.Bid, NEW.Amount);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_sal_back_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_sal_back_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.Bid <=> OLD.Bid AND NEW.Qty <=> OLD.Qty AND NEW.doneQty <=> OLD.doneQty
          AND vlt_flag(NEW.Pause) <=> vlt_flag(OLD.Pause)) THEN
    CALL vlt_refresh_finished('tb_sal_back', OLD.Bid);
    IF NEW.Bid <> OLD.Bid THEN
      CALL vlt_refresh_finished('tb_sal_back', NEW.Bid);
    END IF;
  END IF;
END$$

CREATE TRIGGER tb_sal_back_d_bd BEFORE DELETE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  DO vlt_lock_bill('tb_sal_back', OLD.Bid);
END$$

CREATE TRIGGER tb_sal_back_d_ad AFTER DELETE ON tb_sal_back_d
FOR EACH ROW
BEGIN
  CALL vlt_add_bill_amount('tb_sal_back', OLD.Bid, -OLD.Amount);
  CALL vlt_followup_apply('tb_sal_back_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
  CALL vlt_refresh_finished('tb_sal_back', OLD.Bid);
END$$

DELIMITER ;
