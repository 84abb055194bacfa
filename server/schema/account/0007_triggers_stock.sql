-- Triggers of the stock-in and stock-out bills.
--
-- A stock line taken from a line of a purchase, sales return, sale or purchase return executes
-- it: its Qty counts into that line's doneQty (and so into its bill's Finished). Only the bills
-- of the line's direction that do not move their stock themselves may be executed; that is
-- checked after the line gave its quantity, under the source bill's lock (a refusal undoes the
-- statement). A line needs its bill (the master is saved first). Deleting a stock bill deletes
-- its lines, which gives the quantities back.

DELIMITER $$

-- =============================================================================================
-- tb_sto_in: stock in

CREATE TRIGGER tb_sto_in_bu BEFORE UPDATE ON tb_sto_in
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
END$$

CREATE TRIGGER tb_sto_in_ad AFTER DELETE ON tb_sto_in
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_sto_in', OLD.Bid);
END$$

CREATE TRIGGER tb_sto_in_d_bi BEFORE INSERT ON tb_sto_in_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_sto_in', NEW.Bid);
END$$

CREATE TRIGGER tb_sto_in_d_bu BEFORE UPDATE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    CALL vlt_check_line_bill('tb_sto_in', NEW.Bid);
  END IF;
END$$

CREATE TRIGGER tb_sto_in_d_ai AFTER INSERT ON tb_sto_in_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_check_stock_source('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid);
END$$

CREATE TRIGGER tb_sto_in_d_au AFTER UPDATE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_sto_in_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_stock_source('tb_sto_in_d', NEW.RelationKind, NEW.RelationBid);
  END IF;
END$$

CREATE TRIGGER tb_sto_in_d_ad AFTER DELETE ON tb_sto_in_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sto_in_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
END$$

-- =============================================================================================
-- tb_sto_out: stock out

CREATE TRIGGER tb_sto_out_bu BEFORE UPDATE ON tb_sto_out
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '单据ID不允许修改！';
  END IF;
END$$

CREATE TRIGGER tb_sto_out_ad AFTER DELETE ON tb_sto_out
FOR EACH ROW
BEGIN
  CALL vlt_delete_bill_lines('tb_sto_out', OLD.Bid);
END$$

CREATE TRIGGER tb_sto_out_d_bi BEFORE INSERT ON tb_sto_out_d
FOR EACH ROW
BEGIN
  CALL vlt_check_line_bill('tb_sto_out', NEW.Bid);
END$$

CREATE TRIGGER tb_sto_out_d_bu BEFORE UPDATE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  IF NEW.Bid <> OLD.Bid THEN
    CALL vlt_check_line_bill('tb_sto_out', NEW.Bid);
  END IF;
END$$

CREATE TRIGGER tb_sto_out_d_ai AFTER INSERT ON tb_sto_out_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                          NEW.Qty);
  CALL vlt_check_stock_source('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid);
END$$

CREATE TRIGGER tb_sto_out_d_au AFTER UPDATE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationBNo <=> OLD.RelationBNo
          AND NEW.RelationKind <=> OLD.RelationKind AND NEW.Qty <=> OLD.Qty) THEN
    CALL vlt_followup_apply('tb_sto_out_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                            -OLD.Qty);
    CALL vlt_followup_apply('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid, NEW.RelationBNo,
                            NEW.Qty);
  END IF;
  IF NOT (NEW.RelationBid <=> OLD.RelationBid AND NEW.RelationKind <=> OLD.RelationKind) THEN
    CALL vlt_check_stock_source('tb_sto_out_d', NEW.RelationKind, NEW.RelationBid);
  END IF;
END$$

CREATE TRIGGER tb_sto_out_d_ad AFTER DELETE ON tb_sto_out_d
FOR EACH ROW
BEGIN
  CALL vlt_followup_apply('tb_sto_out_d', OLD.RelationKind, OLD.RelationBid, OLD.RelationBNo,
                          -OLD.Qty);
END$$

DELIMITER ;
