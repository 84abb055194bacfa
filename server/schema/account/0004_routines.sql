-- Routines shared by the triggers that keep the derived data (rules: README.md).
--
-- Every derived number is changed in place (SET x = x + delta) or recomputed from rows read with
-- locks, so that two saves running side by side cannot lose each other's change.
--
-- Two session variables coordinate the triggers of one statement. They are internal: clients
-- must not set them.
--   @vlt_derived_write  > 0 while a trigger writes a derived column (a balance, a line's
--                       doneQty). The BEFORE UPDATE triggers let such a write through and undo
--                       any other. A counter, so that nested writes restore it correctly.
--   @vlt_busy_bill      'table:bid' of a bill whose master trigger is rewriting or deleting its
--                       lines. Those lines' triggers then leave the master row alone: MariaDB
--                       forbids a trigger to change the table of the statement that fired it, and
--                       the master trigger sets the master's own derived values itself.
-- Routines that raise these variables restore them on error too (exit handlers), so a failed
-- statement leaves nothing behind in the session.
--
-- Bills are named by their master table ('tb_pur_purchase'); source kinds are the RelationKind
-- numbers 3000 (purchase order) to 3500 (sales return).

DELIMITER $$

-- 'True' in any letter case; anything else, NULL included, is false.
CREATE FUNCTION vlt_flag(p_value VARCHAR(8)) RETURNS TINYINT
  DETERMINISTIC
RETURN UPPER(IFNULL(p_value, '')) = 'TRUE'$$

-- True while a trigger writes a derived column.
CREATE FUNCTION vlt_in_derived_write() RETURNS TINYINT
  NOT DETERMINISTIC NO SQL
RETURN IFNULL(@vlt_derived_write, 0) > 0$$

-- True while the master trigger of this bill rewrites or deletes its lines.
CREATE FUNCTION vlt_is_busy(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS TINYINT
  NOT DETERMINISTIC NO SQL
RETURN @vlt_busy_bill <=> CONCAT(p_table, ':', p_bid)$$

-- The bill table a RelationKind names, NULL for an unknown kind.
CREATE FUNCTION vlt_source_table(p_kind SMALLINT) RETURNS VARCHAR(32)
  DETERMINISTIC
RETURN CASE p_kind
  WHEN 3000 THEN 'tb_pur_order'
  WHEN 3100 THEN 'tb_pur_purchase'
  WHEN 3200 THEN 'tb_pur_back'
  WHEN 3300 THEN 'tb_sal_order'
  WHEN 3400 THEN 'tb_sal_sale'
  WHEN 3500 THEN 'tb_sal_back'
  ELSE NULL
END$$

-- Whether a line of p_line_table taken from a line of p_source counts into the source line's
-- doneQty. An order is executed by purchases (sales); a purchase, sales return, sale or purchase
-- return by stock-in or stock-out lines. A return taken from a purchase (sale) refers to it but
-- does not execute it: a purchase's doneQty is what was put into stock.
CREATE FUNCTION vlt_followup_counts(p_line_table VARCHAR(32), p_source VARCHAR(32))
  RETURNS TINYINT
  DETERMINISTIC
RETURN IFNULL((p_line_table, p_source) IN (
  ('tb_pur_purchase_d', 'tb_pur_order'),
  ('tb_sal_sale_d', 'tb_sal_order'),
  ('tb_sto_in_d', 'tb_pur_purchase'),
  ('tb_sto_in_d', 'tb_sal_back'),
  ('tb_sto_out_d', 'tb_sal_sale'),
  ('tb_sto_out_d', 'tb_pur_back')), 0)$$

-- Quantity of the follow-up lines that executed one source line (see vlt_followup_counts).
CREATE FUNCTION vlt_followup_qty(p_source VARCHAR(32), p_bid VARCHAR(15), p_bno INT)
  RETURNS DECIMAL(17, 4)
  NOT DETERMINISTIC READS SQL DATA
RETURN IFNULL(CASE p_source
  WHEN 'tb_pur_order' THEN
    (SELECT SUM(Qty) FROM tb_pur_purchase_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3000)
  WHEN 'tb_sal_order' THEN
    (SELECT SUM(Qty) FROM tb_sal_sale_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3300)
  WHEN 'tb_pur_purchase' THEN
    (SELECT SUM(Qty) FROM tb_sto_in_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3100)
  WHEN 'tb_sal_back' THEN
    (SELECT SUM(Qty) FROM tb_sto_in_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3500)
  WHEN 'tb_sal_sale' THEN
    (SELECT SUM(Qty) FROM tb_sto_out_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3400)
  WHEN 'tb_pur_back' THEN
    (SELECT SUM(Qty) FROM tb_sto_out_d
      WHERE RelationBid = p_bid AND RelationBNo = p_bno AND RelationKind = 3200)
  ELSE 0
END, 0)$$

-- Whether stock-in or stock-out lines execute any line of the bill.
CREATE FUNCTION vlt_has_stock_followups(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS TINYINT
  NOT DETERMINISTIC READS SQL DATA
RETURN CASE p_table
  WHEN 'tb_pur_purchase' THEN
    EXISTS (SELECT 1 FROM tb_sto_in_d WHERE RelationBid = p_bid AND RelationKind = 3100)
  WHEN 'tb_sal_back' THEN
    EXISTS (SELECT 1 FROM tb_sto_in_d WHERE RelationBid = p_bid AND RelationKind = 3500)
  WHEN 'tb_sal_sale' THEN
    EXISTS (SELECT 1 FROM tb_sto_out_d WHERE RelationBid = p_bid AND RelationKind = 3400)
  WHEN 'tb_pur_back' THEN
    EXISTS (SELECT 1 FROM tb_sto_out_d WHERE RelationBid = p_bid AND RelationKind = 3200)
  ELSE 0
END$$

-- Whether the bill moves its stock itself (IsStoreIO 'True'); orders and missing bills do not.
CREATE FUNCTION vlt_bill_auto_stock(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS TINYINT
  NOT DETERMINISTIC READS SQL DATA
RETURN IFNULL(CASE p_table
  WHEN 'tb_pur_purchase' THEN (SELECT vlt_flag(IsStoreIO) FROM tb_pur_purchase WHERE Bid = p_bid)
  WHEN 'tb_pur_back' THEN (SELECT vlt_flag(IsStoreIO) FROM tb_pur_back WHERE Bid = p_bid)
  WHEN 'tb_sal_sale' THEN (SELECT vlt_flag(IsStoreIO) FROM tb_sal_sale WHERE Bid = p_bid)
  WHEN 'tb_sal_back' THEN (SELECT vlt_flag(IsStoreIO) FROM tb_sal_back WHERE Bid = p_bid)
  ELSE 0
END, 0)$$

-- The doneQty a line of a source bill must have: its own quantity when its bill moves the stock
-- itself, else what its follow-up lines executed.
CREATE FUNCTION vlt_line_done_qty(p_table VARCHAR(32), p_bid VARCHAR(15), p_bno INT,
                                  p_qty DECIMAL(13, 4)) RETURNS DECIMAL(17, 4)
  NOT DETERMINISTIC READS SQL DATA
RETURN IF(vlt_bill_auto_stock(p_table, p_bid), IFNULL(p_qty, 0),
          vlt_followup_qty(p_table, p_bid, p_bno))$$

-- 'True' when no line of the bill that is not paused has Qty > doneQty, else 'False' (a bill
-- without lines is finished). The lines are read with shared locks: a line being changed by
-- another save is waited for instead of being read as it was.
CREATE FUNCTION vlt_bill_finished(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS VARCHAR(8)
  NOT DETERMINISTIC READS SQL DATA
BEGIN
  DECLARE v_open INT DEFAULT 0;
  CASE p_table
    WHEN 'tb_pur_order' THEN
      SELECT COUNT(*) INTO v_open FROM tb_pur_order_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    WHEN 'tb_pur_purchase' THEN
      SELECT COUNT(*) INTO v_open FROM tb_pur_purchase_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    WHEN 'tb_pur_back' THEN
      SELECT COUNT(*) INTO v_open FROM tb_pur_back_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    WHEN 'tb_sal_order' THEN
      SELECT COUNT(*) INTO v_open FROM tb_sal_order_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    WHEN 'tb_sal_sale' THEN
      SELECT COUNT(*) INTO v_open FROM tb_sal_sale_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    WHEN 'tb_sal_back' THEN
      SELECT COUNT(*) INTO v_open FROM tb_sal_back_d
        WHERE Bid = p_bid AND NOT vlt_flag(Pause) AND IFNULL(Qty, 0) > doneQty LOCK IN SHARE MODE;
    ELSE
      SET v_open = 0;
  END CASE;
  RETURN IF(v_open > 0, 'False', 'True');
END$$

-- Sets the master's Finished from its lines (the master's BEFORE UPDATE trigger recomputes it
-- the same way). Skipped while the master's own trigger is busy with the lines.
CREATE PROCEDURE vlt_refresh_finished(IN p_table VARCHAR(32), IN p_bid VARCHAR(15))
  MODIFIES SQL DATA
BEGIN
  IF p_bid IS NOT NULL AND NOT vlt_is_busy(p_table, p_bid) THEN
    CASE p_table
      WHEN 'tb_pur_order' THEN
        UPDATE tb_pur_order SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      WHEN 'tb_pur_purchase' THEN
        UPDATE tb_pur_purchase SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      WHEN 'tb_pur_back' THEN
        UPDATE tb_pur_back SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      WHEN 'tb_sal_order' THEN
        UPDATE tb_sal_order SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      WHEN 'tb_sal_sale' THEN
        UPDATE tb_sal_sale SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      WHEN 'tb_sal_back' THEN
        UPDATE tb_sal_back SET Finished = vlt_bill_finished(p_table, p_bid) WHERE Bid = p_bid;
      ELSE
        BEGIN
        END;
    END CASE;
  END IF;
END$$

-- Locks the master row of a bill for the rest of the transaction; true when the bill exists.
-- Whatever changes the lines of a bill (its own save, follow-up bills executing it) takes the
-- master first and the lines after, so that parallel saves queue up on the master instead of
-- deadlocking on each other's line locks.
CREATE FUNCTION vlt_lock_bill(p_table VARCHAR(32), p_bid VARCHAR(15)) RETURNS TINYINT
  NOT DETERMINISTIC READS SQL DATA
BEGIN
  DECLARE v_found INT DEFAULT 0;
  CASE p_table
    WHEN 'tb_pur_order' THEN
      SELECT COUNT(*) INTO v_found FROM tb_pur_order WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_pur_purchase' THEN
      SELECT COUNT(*) INTO v_found FROM tb_pur_purchase WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_pur_back' THEN
      SELECT COUNT(*) INTO v_found FROM tb_pur_back WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_sal_order' THEN
      SELECT COUNT(*) INTO v_found FROM tb_sal_order WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_sal_sale' THEN
      SELECT COUNT(*) INTO v_found FROM tb_sal_sale WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_sal_back' THEN
      SELECT COUNT(*) INTO v_found FROM tb_sal_back WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_sto_in' THEN
      SELECT COUNT(*) INTO v_found FROM tb_sto_in WHERE Bid = p_bid FOR UPDATE;
    WHEN 'tb_sto_out' THEN
      SELECT COUNT(*) INTO v_found FROM tb_sto_out WHERE Bid = p_bid FOR UPDATE;
    ELSE
      SET v_found = 0;
  END CASE;
  RETURN v_found > 0;
END$$

-- Lines belong to an existing bill: a master is saved before its lines, and a line cannot be
-- moved to a bill that does not exist. (A new master therefore has no lines yet, so saving it
-- need not look for any: such a look would lock index gaps that parallel saves of other new
-- bills insert into.) Locks the bill as vlt_lock_bill does.
CREATE PROCEDURE vlt_check_line_bill(IN p_table VARCHAR(32), IN p_bid VARCHAR(15))
  READS SQL DATA
BEGIN
  IF NOT vlt_lock_bill(p_table, p_bid) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '明细所属的单据不存在，请先保存单据！';
  END IF;
END$$

-- Adds p_delta to the doneQty of one source line, in place (its bill locked first).
CREATE PROCEDURE vlt_add_done_qty(IN p_source VARCHAR(32), IN p_bid VARCHAR(15), IN p_bno INT,
                                  IN p_delta DECIMAL(17, 4))
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  DO vlt_lock_bill(p_source, p_bid);
  CASE p_source
    WHEN 'tb_pur_order' THEN
      UPDATE tb_pur_order_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    WHEN 'tb_pur_purchase' THEN
      UPDATE tb_pur_purchase_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    WHEN 'tb_pur_back' THEN
      UPDATE tb_pur_back_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    WHEN 'tb_sal_order' THEN
      UPDATE tb_sal_order_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    WHEN 'tb_sal_sale' THEN
      UPDATE tb_sal_sale_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    WHEN 'tb_sal_back' THEN
      UPDATE tb_sal_back_d SET doneQty = doneQty + p_delta WHERE Bid = p_bid AND BNo = p_bno;
    ELSE
      BEGIN
      END;
  END CASE;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

-- A line of p_line_table that refers to source line (p_bid, p_bno) of kind p_kind adds p_qty to
-- that line's doneQty when it counts as executing it. Triggers call it with the old values and
-- -Qty to take a line's share back, and with the new values and +Qty to give it.
CREATE PROCEDURE vlt_followup_apply(IN p_line_table VARCHAR(32), IN p_kind SMALLINT,
                                    IN p_bid VARCHAR(15), IN p_bno INT, IN p_qty DECIMAL(17, 4))
  MODIFIES SQL DATA
BEGIN
  DECLARE v_source VARCHAR(32) DEFAULT vlt_source_table(p_kind);
  IF p_bid IS NOT NULL AND p_bno IS NOT NULL AND IFNULL(p_qty, 0) <> 0
     AND vlt_followup_counts(p_line_table, v_source) THEN
    CALL vlt_add_done_qty(v_source, p_bid, p_bno, p_qty);
  END IF;
END$$

-- A stock line may only execute a bill of its direction that does not move its stock itself
-- (that bill's stock is already counted). Run by the AFTER triggers once the line has given its
-- quantity (which locked the source bill), so that the source is read under that lock.
CREATE PROCEDURE vlt_check_stock_source(IN p_line_table VARCHAR(32), IN p_kind SMALLINT,
                                        IN p_bid VARCHAR(15))
  READS SQL DATA
BEGIN
  IF IFNULL(p_bid, '') <> '' THEN
    IF NOT vlt_followup_counts(p_line_table, vlt_source_table(p_kind)) THEN
      SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '出入库单引用的源单类型不正确！';
    END IF;
    IF vlt_bill_auto_stock(vlt_source_table(p_kind), p_bid) THEN
      SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '源单已自动出入库，不能再由出入库单执行！';
    END IF;
  END IF;
END$$

-- Sets the doneQty of every line of a purchase, sale or return after its IsStoreIO was set or
-- changed: the line's Qty when the bill moves its stock itself, else what stock lines executed.
-- Refused when the bill is to move its stock itself but stock lines already executed it.
CREATE PROCEDURE vlt_sync_auto_stock(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                     IN p_auto TINYINT)
  MODIFIES SQL DATA
BEGIN
  DECLARE v_busy VARCHAR(64) DEFAULT @vlt_busy_bill;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    SET @vlt_busy_bill = v_busy;
    RESIGNAL;
  END;
  SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
  SET @vlt_busy_bill = CONCAT(p_table, ':', p_bid);
  IF p_auto AND vlt_has_stock_followups(p_table, p_bid) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '该单已有出入库单执行，不能再设为自动出入库！';
  END IF;
  CASE p_table
    WHEN 'tb_pur_purchase' THEN
      UPDATE tb_pur_purchase_d
        SET doneQty = IF(p_auto, IFNULL(Qty, 0), vlt_followup_qty(p_table, Bid, BNo))
        WHERE Bid = p_bid;
    WHEN 'tb_pur_back' THEN
      UPDATE tb_pur_back_d
        SET doneQty = IF(p_auto, IFNULL(Qty, 0), vlt_followup_qty(p_table, Bid, BNo))
        WHERE Bid = p_bid;
    WHEN 'tb_sal_sale' THEN
      UPDATE tb_sal_sale_d
        SET doneQty = IF(p_auto, IFNULL(Qty, 0), vlt_followup_qty(p_table, Bid, BNo))
        WHERE Bid = p_bid;
    WHEN 'tb_sal_back' THEN
      UPDATE tb_sal_back_d
        SET doneQty = IF(p_auto, IFNULL(Qty, 0), vlt_followup_qty(p_table, Bid, BNo))
        WHERE Bid = p_bid;
    ELSE
      BEGIN
      END;
  END CASE;
  SET @vlt_busy_bill = v_busy;
  SET @vlt_derived_write = @vlt_derived_write - 1;
END$$

-- Deletes the lines of a deleted bill, so that their triggers take back what the lines gave
-- (amounts, doneQty of source lines).
CREATE PROCEDURE vlt_delete_bill_lines(IN p_table VARCHAR(32), IN p_bid VARCHAR(15))
  MODIFIES SQL DATA
BEGIN
  DECLARE v_busy VARCHAR(64) DEFAULT @vlt_busy_bill;
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_busy_bill = v_busy;
    RESIGNAL;
  END;
  SET @vlt_busy_bill = CONCAT(p_table, ':', p_bid);
  CASE p_table
    WHEN 'tb_pur_order' THEN DELETE FROM tb_pur_order_d WHERE Bid = p_bid;
    WHEN 'tb_pur_purchase' THEN DELETE FROM tb_pur_purchase_d WHERE Bid = p_bid;
    WHEN 'tb_pur_back' THEN DELETE FROM tb_pur_back_d WHERE Bid = p_bid;
    WHEN 'tb_sal_order' THEN DELETE FROM tb_sal_order_d WHERE Bid = p_bid;
    WHEN 'tb_sal_sale' THEN DELETE FROM tb_sal_sale_d WHERE Bid = p_bid;
    WHEN 'tb_sal_back' THEN DELETE FROM tb_sal_back_d WHERE Bid = p_bid;
    WHEN 'tb_sto_in' THEN DELETE FROM tb_sto_in_d WHERE Bid = p_bid;
    WHEN 'tb_sto_out' THEN DELETE FROM tb_sto_out_d WHERE Bid = p_bid;
    ELSE
      BEGIN
      END;
  END CASE;
  SET @vlt_busy_bill = v_busy;
END$$

-- Moves a trader's balance by p_delta, in place.
CREATE PROCEDURE vlt_add_trader_balance(IN p_trader VARCHAR(15), IN p_delta DECIMAL(25, 4))
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  -- A zero move writes nothing; this also keeps td_trader's own triggers (which make and drop
  -- the zero opening row) from writing back into td_trader.
  IF p_trader IS NOT NULL AND IFNULL(p_delta, 0) <> 0 THEN
    SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
    UPDATE td_trader SET Balance = Balance + p_delta WHERE Id = p_trader;
    SET @vlt_derived_write = @vlt_derived_write - 1;
  END IF;
END$$

-- Moves an account's balance by p_delta, in place.
CREATE PROCEDURE vlt_add_account_balance(IN p_account VARCHAR(15), IN p_delta DECIMAL(25, 4))
  MODIFIES SQL DATA
BEGIN
  DECLARE EXIT HANDLER FOR SQLEXCEPTION
  BEGIN
    SET @vlt_derived_write = @vlt_derived_write - 1;
    RESIGNAL;
  END;
  IF p_account IS NOT NULL AND IFNULL(p_delta, 0) <> 0 THEN
    SET @vlt_derived_write = IFNULL(@vlt_derived_write, 0) + 1;
    UPDATE td_account SET Balance = Balance + p_delta WHERE Id = p_account;
    SET @vlt_derived_write = @vlt_derived_write - 1;
  END IF;
END$$

-- Direction of a trade bill's own movement: a purchase or sale raises the debt, a return lowers
-- it; an order makes no debt (0: no movement of its own).
CREATE FUNCTION vlt_trade_bill_dir(p_table VARCHAR(32)) RETURNS SMALLINT
  DETERMINISTIC
RETURN CASE p_table
  WHEN 'tb_pur_purchase' THEN 1
  WHEN 'tb_sal_sale' THEN 1
  WHEN 'tb_pur_back' THEN -1
  WHEN 'tb_sal_back' THEN -1
  ELSE 0
END$$

-- Direction of the trader movement of a settlement made at once (IsPay): paying a vendor or
-- being paid by a client (orders included: a prepayment) lowers the debt; a refund with a return
-- raises it back.
CREATE FUNCTION vlt_trade_settle_dir(p_table VARCHAR(32)) RETURNS SMALLINT
  DETERMINISTIC
RETURN IF(p_table IN ('tb_pur_back', 'tb_sal_back'), 1, -1)$$

-- Direction of the account movement of that settlement: money goes out to vendors and comes in
-- from clients; refunds go the other way.
CREATE FUNCTION vlt_trade_settle_account_dir(p_table VARCHAR(32)) RETURNS SMALLINT
  DETERMINISTIC
RETURN CASE p_table
  WHEN 'tb_pur_order' THEN -1
  WHEN 'tb_pur_purchase' THEN -1
  WHEN 'tb_pur_back' THEN 1
  WHEN 'tb_sal_order' THEN 1
  WHEN 'tb_sal_sale' THEN 1
  WHEN 'tb_sal_back' THEN -1
  ELSE 0
END$$

-- Sum of the line amounts of a trade bill.
CREATE FUNCTION vlt_bill_lines_amount(p_table VARCHAR(32), p_bid VARCHAR(15))
  RETURNS DECIMAL(25, 4)
  NOT DETERMINISTIC READS SQL DATA
RETURN IFNULL(CASE p_table
  WHEN 'tb_pur_order' THEN (SELECT SUM(Amount) FROM tb_pur_order_d WHERE Bid = p_bid)
  WHEN 'tb_pur_purchase' THEN (SELECT SUM(Amount) FROM tb_pur_purchase_d WHERE Bid = p_bid)
  WHEN 'tb_pur_back' THEN (SELECT SUM(Amount) FROM tb_pur_back_d WHERE Bid = p_bid)
  WHEN 'tb_sal_order' THEN (SELECT SUM(Amount) FROM tb_sal_order_d WHERE Bid = p_bid)
  WHEN 'tb_sal_sale' THEN (SELECT SUM(Amount) FROM tb_sal_sale_d WHERE Bid = p_bid)
  WHEN 'tb_sal_back' THEN (SELECT SUM(Amount) FROM tb_sal_back_d WHERE Bid = p_bid)
  ELSE 0
END, 0)$$

-- Adds a line's amount change to its bill's own trader movement, in place.
CREATE PROCEDURE vlt_add_bill_amount(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                     IN p_delta DECIMAL(25, 4))
  MODIFIES SQL DATA
BEGIN
  IF p_bid IS NOT NULL AND IFNULL(p_delta, 0) <> 0 THEN
    UPDATE ts_traderbalancedetailflow SET IOAmount = IOAmount + p_delta
      WHERE Bid = p_bid AND SrcTable = p_table AND SrcPart = 1;
  END IF;
END$$

-- Gives a trade bill's own movement (part 1) to the bill's trader. A new bill gets it made with
-- amount 0 (its lines come after it); afterwards the amount is kept by the lines' triggers, so
-- changing the trader moves the whole amount from one balance to the other. A movement that went
-- missing is made again from the lines.
CREATE PROCEDURE vlt_put_bill_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                   IN p_trader VARCHAR(15), IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
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
END$$

-- Sets one trader movement of a bill: made for a new bill (a plain insert: probing first would
-- take gap locks that make parallel saves deadlock), updated in place otherwise (and made again
-- if it went missing). The bill's master row is locked by the statement that fired the calling
-- trigger, so nobody else writes this movement meanwhile.
CREATE PROCEDURE vlt_put_trader_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                     IN p_part TINYINT, IN p_trader VARCHAR(15),
                                     IN p_amount DECIMAL(25, 4), IN p_dir SMALLINT,
                                     IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
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
END$$

-- Sets one account movement of a bill, as vlt_put_trader_flow.
CREATE PROCEDURE vlt_put_account_flow(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                      IN p_part TINYINT, IN p_account VARCHAR(15),
                                      IN p_amount DECIMAL(25, 4), IN p_dir SMALLINT,
                                      IN p_new TINYINT)
  MODIFIES SQL DATA
BEGIN
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
END$$

-- Removes the movements a bill made (one part, or all when p_part is NULL).
CREATE PROCEDURE vlt_drop_flows(IN p_table VARCHAR(32), IN p_bid VARCHAR(15), IN p_part TINYINT)
  MODIFIES SQL DATA
BEGIN
  DELETE FROM ts_traderbalancedetailflow
    WHERE Bid = p_bid AND SrcTable = p_table AND (p_part IS NULL OR SrcPart = p_part);
  DELETE FROM ts_accountdetailflow
    WHERE Bid = p_bid AND SrcTable = p_table AND (p_part IS NULL OR SrcPart = p_part);
END$$

-- The settlement a trade bill makes at once: with IsPay 'True' a trader movement and an account
-- movement of AccAmt (part 2); without, none. p_was_pay is the bill's IsPay before the change
-- (NULL for a new bill).
CREATE PROCEDURE vlt_trade_settlement(IN p_table VARCHAR(32), IN p_bid VARCHAR(15),
                                      IN p_was_pay VARCHAR(8), IN p_is_pay VARCHAR(8),
                                      IN p_trader VARCHAR(15), IN p_account VARCHAR(15),
                                      IN p_amount DECIMAL(20, 2))
  MODIFIES SQL DATA
BEGIN
  IF vlt_flag(p_is_pay) THEN
    CALL vlt_put_trader_flow(p_table, p_bid, 2, p_trader, IFNULL(p_amount, 0),
                             vlt_trade_settle_dir(p_table), NOT vlt_flag(p_was_pay));
    CALL vlt_put_account_flow(p_table, p_bid, 2, p_account, IFNULL(p_amount, 0),
                              vlt_trade_settle_account_dir(p_table), NOT vlt_flag(p_was_pay));
  ELSEIF vlt_flag(p_was_pay) THEN
    CALL vlt_drop_flows(p_table, p_bid, 2);
  END IF;
END$$

DELIMITER ;
