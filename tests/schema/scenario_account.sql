-- A working session of a small shop, written the way the client and the data service write:
-- base data with the client's insert statements, opening balances edited in place, bills saved
-- as a master row followed by line rows, plain UPDATE and DELETE statements, refused changes.
-- Expectations are checked at the steps where they matter; each miss prints a 'FAIL: ...' row.
-- check_account.sql then recomputes every derived value from scratch.

DELIMITER $$

-- Prints a FAIL row unless the number is as expected.
CREATE PROCEDURE tst_expect(IN p_what VARCHAR(200), IN p_got DECIMAL(25, 4),
                            IN p_want DECIMAL(25, 4))
BEGIN
  IF NOT (p_got <=> p_want) THEN
    SELECT CONCAT('FAIL: ', p_what, ': got ', IFNULL(p_got, 'NULL'), ', want ', p_want) AS result;
  END IF;
END$$

-- Prints a FAIL row unless the text is as expected.
CREATE PROCEDURE tst_expect_text(IN p_what VARCHAR(200), IN p_got TEXT, IN p_want TEXT)
BEGIN
  IF NOT (BINARY p_got <=> BINARY p_want) THEN
    SELECT CONCAT('FAIL: ', p_what, ': got ', IFNULL(p_got, 'NULL'), ', want ', p_want) AS result;
  END IF;
END$$

-- Runs a statement that must be refused with an error containing p_expect, and checks that the
-- refusal left the triggers' session variables clean.
CREATE PROCEDURE tst_expect_error(IN p_sql TEXT, IN p_expect VARCHAR(200))
BEGIN
  DECLARE v_text TEXT DEFAULT NULL;
  DECLARE CONTINUE HANDLER FOR SQLEXCEPTION
    GET DIAGNOSTICS CONDITION 1 v_text = MESSAGE_TEXT;
  SET @tst_sql = p_sql;
  PREPARE tst_stmt FROM @tst_sql;
  EXECUTE tst_stmt;
  IF v_text IS NULL THEN
    SELECT CONCAT('FAIL: no error from: ', p_sql) AS result;
  ELSEIF LOCATE(p_expect, v_text) = 0 THEN
    SELECT CONCAT('FAIL: error "', v_text, '" instead of "', p_expect, '" from: ', p_sql) AS result;
  END IF;
  IF IFNULL(@vlt_derived_write, 0) <> 0 OR @vlt_busy_bill IS NOT NULL THEN
    SELECT CONCAT('FAIL: session variables left set after: ', p_sql) AS result;
  END IF;
END$$

-- Balance of a trader or an account.
CREATE FUNCTION tst_trader(p_id VARCHAR(15)) RETURNS DECIMAL(25, 4)
  READS SQL DATA
RETURN (SELECT Balance FROM td_trader WHERE Id = p_id)$$

CREATE FUNCTION tst_account(p_id VARCHAR(15)) RETURNS DECIMAL(25, 4)
  READS SQL DATA
RETURN (SELECT Balance FROM td_account WHERE Id = p_id)$$

DELIMITER ;

-- ---------------------------------------------------------------------------------------------
-- Base data, with the statements of the edit windows ("value" is the client's spelling).

Insert into td_unit (Id,Name) value ('U1','个');
Insert into td_unit (Id,Name) value ('U2','箱');
Insert into td_Account (Id,Name) value ('A1','现金');
Insert into td_Account (Id,Name) value ('A2','银行');
Insert into td_accountiotype (Id,Name,IODirect) value ('T1','利息',1);
Insert into td_accountiotype (Id,Name,IODirect) value ('T2','房租',-1);
Insert into td_accountiotype (Id,Name,IODirect) value ('T3','房租',1);
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('V1','供货商甲','','','','False');
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('V2','供货商乙','','','','False');
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('C1','客户甲','','','','True');
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('C2','客户乙','','','','True');
-- a client may carry a vendor's name
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('C3','供货商甲','','','','True');
Insert into td_goodstype (Id,Name,PId,LevelCode) value ('GT1','饮料','-1','abc');
Insert into td_goodstype (Id,Name,PId,LevelCode) value ('GT2','碳酸饮料','GT1','abcdef');
Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('G1','G001','可乐','500ml','GT2','U1','库存商品','先进先出法','',5,8,7,'False','','False');
Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('G2','G002','雪碧','500ml','GT2','U2','库存商品','先进先出法','',10,20,15,'False','','False');
-- same name, other Spec: allowed
Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('G3','G003','可乐','1L','-9999','U1','库存商品','先进先出法','',0,0,0,'False','','False');
INSERT INTO td_goods (Id, Code, Name, UnitID) VALUES ('G4', 'G004', '矿泉水', 'U1');
update td_Goods set Spec='330ml',PurPrice=1.5 where Id='G4';
update td_Trader set Tel='123' where Id='V1';
INSERT INTO ts_userpower (UserID, ModuleID, ModuleCnName, groupID) VALUES (10002, 'YW_10002', '采购收货单', '2');

CALL tst_expect('new trader balance', tst_trader('V1'), 0);
CALL tst_expect('opening rows made', (SELECT COUNT(*) FROM ts_traderbalancedetailflow WHERE Bid = '-99'), 5);
CALL tst_expect('account opening rows made', (SELECT COUNT(*) FROM ts_accountdetailflow WHERE Bid = '-99'), 2);
CALL tst_expect_text('goods without type', (SELECT TypeID FROM td_goods WHERE Id = 'G4'), '-9999');
CALL tst_expect_text('pause default', (SELECT Pause FROM td_goods WHERE Id = 'G4'), 'False');

-- Opening balances, as the opening-balance windows save them (key TraderID,Bid / AccountID,Bid).
UPDATE ts_traderbalancedetailflow SET IOAmount = 100 WHERE TraderID = 'V1' AND Bid = '-99';
UPDATE ts_traderbalancedetailflow SET IOAmount = 50 WHERE TraderID = 'C1' AND Bid = '-99';
UPDATE ts_accountdetailflow SET IOAmount = 1000 WHERE AccountID = 'A1' AND Bid = '-99';
CALL tst_expect('V1 opening', tst_trader('V1'), 100);
CALL tst_expect('C1 opening', tst_trader('C1'), 50);
CALL tst_expect('A1 opening', tst_account('A1'), 1000);

-- A balance written directly is put back.
UPDATE td_trader SET Balance = 999 WHERE Id = 'V1';
UPDATE td_account SET Balance = 999, Name = '现金帐户' WHERE Id = 'A1';
CALL tst_expect('V1 balance not writable', tst_trader('V1'), 100);
CALL tst_expect('A1 balance not writable', tst_account('A1'), 1000);
CALL tst_expect_text('A1 renamed', (SELECT Name FROM td_account WHERE Id = 'A1'), '现金帐户');

-- ---------------------------------------------------------------------------------------------
-- Purchase order PO1 (V1): 10 x G1 at 5, 4 x G2 at 10. Saved master first, then lines.

INSERT INTO tb_pur_order (Bid, BDate, BCode, TraderID, RevDate, NoteType, TaxRate, IsPay, CreateOp, CreateTime)
  VALUES ('PO1', '2024-03-01', 'PO20240301001', 'V1', '2024-03-01', '收据', 0, 'false', 10001, '2024-03-01 09:00:00');
INSERT INTO tb_pur_order_d (Bid, BNo, GoodsID, UnitID, Qty, Price, TaxRate, Amount, Pause)
  VALUES ('PO1', 1, 'G1', 'U1', 10, 5, 0, 50, 'false');
INSERT INTO tb_pur_order_d (Bid, BNo, GoodsID, UnitID, Qty, Price, TaxRate, Amount, Pause)
  VALUES ('PO1', 2, 'G2', 'U2', 4, 10, 0, 40, 'false');
CALL tst_expect_text('PO1 open', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'False');
CALL tst_expect('an order moves no balance', tst_trader('V1'), 100);
CALL tst_expect('an order makes no movement',
                (SELECT COUNT(*) FROM ts_traderbalancedetailflow WHERE Bid = 'PO1'), 0);

-- Purchase PC1 (V1) taken from PO1, not stocked automatically: 6 x G1, 4 x G2 = 70.
INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsPay, IsStoreIO, StoreId, CreateOp, CreateTime)
  VALUES ('PC1', '2024-03-02', 'PC20240302001', 'V1', 'false', 'false', '100000000000001', 10001, '2024-03-02 10:00:00');
INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, TaxRate, Amount, Pause, RelationBid, RelationBNo, RelationKind, doneQty)
  VALUES ('PC1', 1, 'G1', 6, 5, 0, 30, 'false', 'PO1', 1, 3000, 0);
INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, TaxRate, Amount, Pause, RelationBid, RelationBNo, RelationKind, doneQty)
  VALUES ('PC1', 2, 'G2', 4, 10, 0, 40, 'false', 'PO1', 2, 3000, 0);
CALL tst_expect('PO1/1 received', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 1), 6);
CALL tst_expect('PO1/2 received', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 2), 4);
CALL tst_expect_text('PO1 still open', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'False');
CALL tst_expect('V1 owes purchase', tst_trader('V1'), 170);
CALL tst_expect_text('PC1 not stocked', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC1'), 'False');

-- The client's after-save statement cannot mark an open bill finished, nor write doneQty.
update tb_pur_purchase set finished='True' where bid='PC1';
CALL tst_expect_text('PC1 stays open', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC1'), 'False');
UPDATE tb_pur_order_d SET doneQty = 99 WHERE Bid = 'PO1' AND BNo = 1;
CALL tst_expect('doneQty not writable', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 1), 6);

-- Pausing the open line finishes the order; resuming reopens it.
UPDATE tb_pur_order_d SET Pause = 'true' WHERE Bid = 'PO1' AND BNo = 1;
CALL tst_expect_text('PO1 finished by pause', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'True');
UPDATE tb_pur_order_d SET Pause = 'false' WHERE Bid = 'PO1' AND BNo = 1;
CALL tst_expect_text('PO1 reopened', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'False');
UPDATE tb_pur_order_d SET Pause = 'True' WHERE Bid = 'PO1' AND BNo = 1;

-- A resolver-style save of an unchanged master whose lines changed ("SET Bid=Bid").
UPDATE tb_pur_order SET Bid = Bid WHERE Bid = 'PO1';
CALL tst_expect_text('PO1 touched', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'True');

-- Stock-in TI1 executes PC1: 6 x G1, 3 x G2 (lines from a source carry no unit).
INSERT INTO tb_sto_in (Bid, BDate, BCode, StoreId, CreateOp, CreateTime)
  VALUES ('TI1', '2024-03-03', 'TI20240303001', '100000000000001', 10001, '2024-03-03 08:00:00');
INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty, Pause, RelationBid, RelationBNo, RelationKind)
  VALUES ('TI1', 1, 'G1', 6, 'false', 'PC1', 1, 3100);
INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty, Pause, RelationBid, RelationBNo, RelationKind)
  VALUES ('TI1', 2, 'G2', 3, 'false', 'PC1', 2, 3100);
CALL tst_expect('PC1/1 stocked', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 1), 6);
CALL tst_expect('PC1/2 partly stocked', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 2), 3);
CALL tst_expect_text('PC1 still open', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC1'), 'False');
UPDATE tb_sto_in_d SET Qty = 4 WHERE Bid = 'TI1' AND BNo = 2;
CALL tst_expect_text('PC1 finished by stock-in', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC1'), 'True');
CALL tst_expect_text('stock line shows the goods unit',
                     (SELECT UnitID FROM view_storebillflow WHERE bid = 'TI1' AND bno = 2), 'U2');

-- Purchase PC2 (V2), stocked and paid at once: 2 x G1 at 15 = 30, 20 paid from A2. The client
-- sends doneqty = qty with such a bill.
INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsPay, AccountId, AccAmt, IsStoreIO, StoreId)
  VALUES ('PC2', '2024-03-04', 'PC20240304001', 'V2', 'True', 'A2', 20, 'True', '100000000000001');
INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, UnitID, Qty, Price, TaxRate, Amount, Pause, doneQty)
  VALUES ('PC2', 1, 'G1', 'U1', 2, 15, 0, 30, 'false', 2);
CALL tst_expect_text('PC2 finished at once', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC2'), 'True');
CALL tst_expect('V2 owes 30 - 20', tst_trader('V2'), 10);
CALL tst_expect('A2 paid 20', tst_account('A2'), -20);
CALL tst_expect('PC2 in stock', (SELECT SUM(qty * ioDirect) FROM view_storebillflow WHERE bid = 'PC2'), 2);
CALL tst_expect_error(
  'INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind) VALUES (''TI1'', 3, ''G1'', 1, ''PC2'', 1, 3100)',
  '源单已自动出入库');

-- Switching the automatic stock off, as the client saves it (master, then the lines' doneqty):
-- nothing is in stock and nothing executed.
UPDATE tb_pur_purchase SET IsStoreIO = 'False' WHERE Bid = 'PC2';
CALL tst_expect('PC2/1 reset', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC2' AND BNo = 1), 0);
UPDATE tb_pur_purchase_d SET doneQty = 0 WHERE Bid = 'PC2' AND BNo = 1;
CALL tst_expect_text('PC2 open again', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC2'), 'False');
CALL tst_expect('PC2 not in stock', (SELECT COUNT(*) FROM view_storebillflow WHERE bid = 'PC2'), 0);
-- and on again by a plain statement, without touching the lines
UPDATE tb_pur_purchase SET IsStoreIO = 'true' WHERE Bid = 'PC2';
CALL tst_expect('PC2/1 done', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC2' AND BNo = 1), 2);
CALL tst_expect_text('PC2 finished again', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC2'), 'True');

-- Changing the bill's trader moves its amount and its payment: V2 back to 0, V1 +10.
UPDATE tb_pur_purchase SET TraderID = 'V1' WHERE Bid = 'PC2';
CALL tst_expect('V2 after trader change', tst_trader('V2'), 0);
CALL tst_expect('V1 after trader change', tst_trader('V1'), 180);
-- Paying 25 from A1 instead of 20 from A2.
UPDATE tb_pur_purchase SET AccAmt = 25, AccountId = 'A1' WHERE Bid = 'PC2';
CALL tst_expect('V1 after payment change', tst_trader('V1'), 175);
CALL tst_expect('A2 after payment change', tst_account('A2'), 0);
CALL tst_expect('A1 after payment change', tst_account('A1'), 975);

-- Purchase return PB1 (V1) from PC1, refunded at once into A1: 1 x G1 at 5.
INSERT INTO tb_pur_back (Bid, BDate, BCode, TraderID, IsPay, AccountId, AccAmt, IsStoreIO)
  VALUES ('PB1', '2024-03-05', 'PB20240305001', 'V1', 'True', 'A1', 5, 'False');
INSERT INTO tb_pur_back_d (Bid, BNo, GoodsID, Qty, Price, TaxRate, Amount, Pause, RelationBid, RelationBNo, RelationKind)
  VALUES ('PB1', 1, 'G1', 1, 5, 0, 5, 'false', 'PC1', 1, 3100);
CALL tst_expect('a return does not execute its purchase',
                (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 1), 6);
CALL tst_expect('V1 after refunded return', tst_trader('V1'), 175);
CALL tst_expect('A1 after refund', tst_account('A1'), 980);
-- PC1/1 (6 bought) keeps 5 returnable, though it is stocked in full; more is refused.
CALL tst_expect('PC1/1 returnable', (SELECT ReturnableQty FROM view_pur_returnable WHERE Bid = 'PC1' AND BNo = 1), 5);
CALL tst_expect_error(
  'INSERT INTO tb_pur_back_d (Bid, BNo, GoodsID, Qty, Price, TaxRate, Amount, Pause, RelationBid, RelationBNo, RelationKind) VALUES (''PB1'', 2, ''G1'', 5.5, 5, 0, 27.5, ''false'', ''PC1'', 1, 3100)',
  '该行最多还可退 5！');
CALL tst_expect_text('PB1 not yet out of stock', (SELECT Finished FROM tb_pur_back WHERE Bid = 'PB1'), 'False');
INSERT INTO tb_sto_out (Bid, BDate, BCode) VALUES ('TO1', '2024-03-05', 'TO20240305001');
INSERT INTO tb_sto_out_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind)
  VALUES ('TO1', 1, 'G1', 1, 'PB1', 1, 3200);
CALL tst_expect_text('PB1 out of stock', (SELECT Finished FROM tb_pur_back WHERE Bid = 'PB1'), 'True');
CALL tst_expect_text('stock bill default store', (SELECT StoreId FROM tb_sto_out WHERE Bid = 'TO1'), '100000000000001');
CALL tst_expect_error(
  'INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind) VALUES (''TI1'', 3, ''G1'', 1, ''PB1'', 1, 3200)',
  '源单类型不正确');

-- ---------------------------------------------------------------------------------------------
-- Sales. SO1 (C1): 5 x G1 at 8. SA1 from it, stocked and collected at once (20 into A1).

INSERT INTO tb_sal_order (Bid, BDate, BCode, TraderID) VALUES ('SO1', '2024-03-06', 'SO20240306001', 'C1');
INSERT INTO tb_sal_order_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('SO1', 1, 'G1', 5, 8, 40);
INSERT INTO tb_sal_sale (Bid, BDate, BCode, TraderID, IsPay, AccountId, AccAmt, IsStoreIO)
  VALUES ('SA1', '2024-03-07', 'SA20240307001', 'C1', 'True', 'A1', 20, 'True');
INSERT INTO tb_sal_sale_d (Bid, BNo, GoodsID, Qty, Price, Amount, RelationBid, RelationBNo, RelationKind, doneQty)
  VALUES ('SA1', 1, 'G1', 5, 8, 40, 'SO1', 1, 3300, 5);
CALL tst_expect_text('SO1 delivered', (SELECT Finished FROM tb_sal_order WHERE Bid = 'SO1'), 'True');
CALL tst_expect_text('SA1 finished', (SELECT Finished FROM tb_sal_sale WHERE Bid = 'SA1'), 'True');
CALL tst_expect('C1 after sale', tst_trader('C1'), 70);
CALL tst_expect('A1 after collection', tst_account('A1'), 1000);
CALL tst_expect('SA1 out of stock', (SELECT SUM(qty * ioDirect) FROM view_storebillflow WHERE bid = 'SA1'), -5);

-- SA2 (C2) without automatic stock: 3 x G2 at 20 + 2 x G1 at 8 = 76; TO2 takes it out.
INSERT INTO tb_sal_sale (Bid, BDate, BCode, TraderID) VALUES ('SA2', '2024-03-08', 'SA20240308001', 'C2');
INSERT INTO tb_sal_sale_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('SA2', 1, 'G2', 3, 20, 60);
INSERT INTO tb_sal_sale_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('SA2', 2, 'G1', 2, 8, 16);
CALL tst_expect('C2 after sale', tst_trader('C2'), 76);
INSERT INTO tb_sto_out (Bid, BDate, BCode) VALUES ('TO2', '2024-03-09', 'TO20240309001');
INSERT INTO tb_sto_out_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind)
  VALUES ('TO2', 1, 'G2', 3, 'SA2', 1, 3400);
INSERT INTO tb_sto_out_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind)
  VALUES ('TO2', 2, 'G1', 2, 'SA2', 2, 3400);
CALL tst_expect_text('SA2 delivered', (SELECT Finished FROM tb_sal_sale WHERE Bid = 'SA2'), 'True');

-- Sales return SK1 (C2) from SA2: 1 x G2 at 20; TI2 puts it back.
INSERT INTO tb_sal_back (Bid, BDate, BCode, TraderID) VALUES ('SK1', '2024-03-10', 'SK20240310001', 'C2');
INSERT INTO tb_sal_back_d (Bid, BNo, GoodsID, Qty, Price, Amount, RelationBid, RelationBNo, RelationKind)
  VALUES ('SK1', 1, 'G2', 1, 20, 20, 'SA2', 1, 3400);
CALL tst_expect('C2 after return', tst_trader('C2'), 56);
CALL tst_expect('SA2/1 untouched by the return', (SELECT doneQty FROM tb_sal_sale_d WHERE Bid = 'SA2' AND BNo = 1), 3);
INSERT INTO tb_sto_in (Bid, BDate, BCode) VALUES ('TI2', '2024-03-10', 'TI20240310001');
INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind)
  VALUES ('TI2', 1, 'G2', 1, 'SK1', 1, 3500);
CALL tst_expect_text('SK1 back in stock', (SELECT Finished FROM tb_sal_back WHERE Bid = 'SK1'), 'True');

-- ---------------------------------------------------------------------------------------------
-- Receipts, payments, income and expenses.

INSERT INTO tb_bal_gathering (Bid, BDate, BCode, TraderID, AccountId, AccAmt, TrimAmt, NowBalance)
  VALUES ('BG1', '2024-03-11', 'BG20240311001', 'C1', 'A2', 30, 5, 70);
INSERT INTO tb_bal_gathering (Bid, BDate, BCode, TraderID, AccountId, AccAmt)
  VALUES ('BG2', '2024-03-11', 'BG20240311002', 'C2', 'A1', 10);
INSERT INTO tb_bal_payment (Bid, BDate, BCode, TraderID, AccountId, AccAmt, TrimAmt)
  VALUES ('PM1', '2024-03-12', 'PM20240312001', 'V1', 'A1', 50, 0);
INSERT INTO tb_acc_io (Bid,Bdate,BIoDirect,AccountId,AccIoTypeID,AccAmt,Remark,CreateOp,CreateTime)
  values ('IO1','2024-03-12',1,'A1','T1',100,'利息收入','10001','2024-03-12 12:00:00');
INSERT INTO tb_acc_io (Bid,Bdate,BIoDirect,AccountId,AccIoTypeID,AccAmt,Remark,CreateOp,CreateTime)
  values ('IO2','2024-03-12',-1,'A2','T2',40,'三月房租','10001','2024-03-12 12:01:00');
CALL tst_expect('C1 after receipt with write-off', tst_trader('C1'), 35);
CALL tst_expect('C2 after receipt', tst_trader('C2'), 46);
CALL tst_expect('V1 after payment', tst_trader('V1'), 125);
CALL tst_expect('A1 after receipt, payment, income', tst_account('A1'), 1060);
CALL tst_expect('A2 after receipt, expense', tst_account('A2'), -10);

Update tb_acc_io set AccIoTypeID='T2',Bdate='2024-03-12',AccountId='A2',AccAmt=45,Remark='三月房租',UpdateOP='10001',UpdateTime='2024-03-13 09:00:00' where BID='IO2';
UPDATE tb_acc_io SET AccountId = 'A2' WHERE Bid = 'IO1';
UPDATE tb_bal_gathering SET TrimAmt = 0 WHERE Bid = 'BG1';
UPDATE tb_bal_payment SET TraderID = 'V2' WHERE Bid = 'PM1';
CALL tst_expect('V1 checkpoint', tst_trader('V1'), 175);
CALL tst_expect('V2 checkpoint', tst_trader('V2'), -50);
CALL tst_expect('C1 checkpoint', tst_trader('C1'), 40);
CALL tst_expect('C2 checkpoint', tst_trader('C2'), 46);
CALL tst_expect('A1 checkpoint', tst_account('A1'), 960);
CALL tst_expect('A2 checkpoint', tst_account('A2'), 85);

-- The client's receivable flow report (clients, whole period) ends where the balance is.
SELECT COUNT(*) INTO @n FROM (
  select * from ((select m.bid,m.TraderID,t.isclient,m.IOAmount*m.IODirection as IOAmount,0 as balance,V.Revmemo,v.billName,v.bdate,v.bcode,m.IODirection,v.remark as billRemark,1 as sortID from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader t on m.TraderID=t.Id where (1=1)  and (bdate between '2024-03-02' and '2024-12-31')) union all (select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,SUM(m.IOAmount*m.IODirection) as balance,null as Revmemo,'期初余额' as billName,null as bdate,t.name as bcode,null as IODirection,null as billRemark,-1 as sortID from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader t on m.TraderID=t.Id where (1=1) and bdate<'2024-03-02' or m.bid='-99' GROUP BY TraderID) union all (select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,null as balance,null as Revmemo,null as billName,null as bdate,null as bcode,null as IODirection,null as billRemark,999999 as sortID from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader t on m.TraderID=t.Id  where (1=1) and bdate<'2024-03-02' or m.bid='-99' GROUP BY TraderID)) as rlt  where isclient='True' ORDER BY traderid,sortid,bid) q;
CALL tst_expect('receivable report rows', @n, 12);
SELECT SUM(IF(sortID = -1, balance, IOAmount)) INTO @c1 FROM (
  select * from ((select m.bid,m.TraderID,t.isclient,m.IOAmount*m.IODirection as IOAmount,0 as balance,V.Revmemo,v.billName,v.bdate,v.bcode,m.IODirection,v.remark as billRemark,1 as sortID from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader t on m.TraderID=t.Id where (1=1)  and (bdate between '2024-03-02' and '2024-12-31')) union all (select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,SUM(m.IOAmount*m.IODirection) as balance,null as Revmemo,'期初余额' as billName,null as bdate,t.name as bcode,null as IODirection,null as billRemark,-1 as sortID from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader t on m.TraderID=t.Id where (1=1) and bdate<'2024-03-02' or m.bid='-99' GROUP BY TraderID)) as rlt  where isclient='True' and TraderID='C1') q;
CALL tst_expect('receivable report of C1 adds up', @c1, 40);

-- The stock summary over March: G1 in 6 (TI1) + 2 (PC2), out 1 (TO1) + 5 (SA1) + 2 (TO2).
SELECT inqty, outqty, BalanceQty INTO @in, @out, @bal FROM (
  select goodsid,g.code as goodscode,g.name as goodsname,g.spec as goodsspec,sum(initQty) as initqty,sum(inQty) as inqty,sum(OutQty) as outqty,sum(ifnull(initqty,0))+sum(ifnull(inqty,0))-sum(ifnull(outqty,0)) as BalanceQty from ((SELECT goodsid,SUM(qty*ioDirect) as InitQty,null as Inqty,null as outQty,null as BalanceQty from view_storebillflow  where (1=1) and bdate<'2024-03-01' group by goodsid) union all (SELECT goodsid,null as InitQty,sum(qty) as Inqty,null as outQty,null as BalanceQty from view_storebillflow  where (1=1)  and (bdate between '2024-03-01' and '2024-03-31') and ioDirect='1' group by goodsid) union all (SELECT goodsid,null as InitQty,null as Inqty,sum(qty) as outQty,null as BalanceQty from view_storebillflow  where (1=1)  and (bdate between '2024-03-01' and '2024-03-31') and ioDirect='-1' group by goodsid)) as dlt left join td_goods G on dlt.goodsid=g.id  group by goodsid) q
 WHERE goodsid = 'G1';
CALL tst_expect('G1 in', @in, 8);
CALL tst_expect('G1 out', @out, 8);
CALL tst_expect('G1 closing', @bal, 0);

-- The opening-balance window's statement, and the source selection of a purchase return.
SELECT COUNT(*) INTO @n FROM (SELECT * from (SELECT M.AccountID,A.name as AccountName,m.Bid,M.IOAmount,M.IODirection FROM ts_accountdetailflow AS M LEFT JOIN td_account as A on m.AccountID=A.Id) as dlt where bid='-99') q;
CALL tst_expect('account opening rows listed', @n, 2);
SELECT COUNT(*) INTO @n FROM (select * from (select m.*,g.code as goodscode,g.name as goodsname,g.spec as goodsspec from tb_pur_purchase m left join tb_pur_purchase_d d on m.bid=d.bid left join td_goods g on d.goodsid=g.id) as MTable where (1=1) and (finished='False') and ((bdate>='2024-03-01') and (bdate<='2024-03-31')) and (traderID='V1') group by bcode) q;
CALL tst_expect('no open purchase of V1', @n, 0);

-- ---------------------------------------------------------------------------------------------
-- Edits and deletions by plain statements.

-- Line price and quantity changes: the bill amount and the order's received quantity follow.
UPDATE tb_pur_purchase_d SET Price = 6, Amount = 36 WHERE Bid = 'PC1' AND BNo = 1;
CALL tst_expect('V1 after line price change', tst_trader('V1'), 181);
UPDATE tb_pur_purchase_d SET Qty = 7, Amount = 42 WHERE Bid = 'PC1' AND BNo = 1;
CALL tst_expect('V1 after line qty change', tst_trader('V1'), 187);
CALL tst_expect('PO1/1 follows', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 1), 7);
CALL tst_expect_text('PC1 open: 7 bought, 6 stocked', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC1'), 'False');

-- A sale given to another client takes its whole amount along.
UPDATE tb_sal_sale SET TraderID = 'C1' WHERE Bid = 'SA2';
CALL tst_expect('C1 after taking SA2', tst_trader('C1'), 116);
CALL tst_expect('C2 after losing SA2', tst_trader('C2'), -30);

-- A line that stock lines executed keeps its goods and at least what they executed.
CALL tst_expect_error('UPDATE tb_pur_purchase_d SET Qty = 5, Amount = 30 WHERE Bid = ''PC1'' AND BNo = 1', '不能少于后续单据已引用的数量 6');
CALL tst_expect_error('UPDATE tb_pur_purchase_d SET GoodsID = ''G2'' WHERE Bid = ''PC1'' AND BNo = 1', '不能更换商品');
CALL tst_expect('PC1/1 kept', (SELECT Qty FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 1), 7);

-- Deleting a purchase line gives back its amount and the order's quantity; while a stock line
-- executes it, it is refused.
CALL tst_expect_error('DELETE FROM tb_pur_purchase_d WHERE Bid = ''PC1'' AND BNo = 2', '单据已被引用');
DELETE FROM tb_sto_in_d WHERE Bid = 'TI1' AND BNo = 2;
DELETE FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 2;
CALL tst_expect('V1 after line delete', tst_trader('V1'), 147);
CALL tst_expect('PO1/2 given back', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 2), 0);
CALL tst_expect_text('PO1 open again', (SELECT Finished FROM tb_pur_order WHERE Bid = 'PO1'), 'False');

-- Deleting a stock bill (master only) deletes its lines and un-executes the purchase.
DELETE FROM tb_sto_in WHERE Bid = 'TI1';
CALL tst_expect('TI1 lines gone', (SELECT COUNT(*) FROM tb_sto_in_d WHERE Bid = 'TI1'), 0);
CALL tst_expect('PC1/1 unstocked', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC1' AND BNo = 1), 0);

-- Deleting a receipt gives the debt back.
DELETE FROM tb_bal_gathering WHERE Bid = 'BG1';
CALL tst_expect('C1 after receipt deleted', tst_trader('C1'), 146);
CALL tst_expect('A2 after receipt deleted', tst_account('A2'), 55);

-- A purchase a return was taken from is not deleted while the return's line names it.
CALL tst_expect_error('DELETE FROM tb_pur_purchase WHERE Bid = ''PC1''', '单据已被引用');
UPDATE tb_pur_back_d SET RelationBid = NULL, RelationBNo = NULL, RelationKind = NULL WHERE Bid = 'PB1';

-- Deleting the purchase (master only): its lines, amount and the order quantities go.
DELETE FROM tb_pur_purchase WHERE Bid = 'PC1';
CALL tst_expect('PC1 lines gone', (SELECT COUNT(*) FROM tb_pur_purchase_d WHERE Bid = 'PC1'), 0);
CALL tst_expect('PC1 movements gone', (SELECT COUNT(*) FROM ts_traderbalancedetailflow WHERE Bid = 'PC1'), 0);
CALL tst_expect('V1 after purchase deleted', tst_trader('V1'), 105);
CALL tst_expect('PO1/1 given back', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 1), 0);

-- Deleting a sale as the service does it (lines first, then the master).
DELETE FROM tb_sal_sale_d WHERE Bid = 'SA1';
DELETE FROM tb_sal_sale WHERE Bid = 'SA1' LIMIT 1;
CALL tst_expect('C1 after sale deleted', tst_trader('C1'), 126);
CALL tst_expect('A1 after sale deleted', tst_account('A1'), 940);
CALL tst_expect_text('SO1 open again', (SELECT Finished FROM tb_sal_order WHERE Bid = 'SO1'), 'False');

-- A line needs its bill: lines come after their master. PC9 (V2) stocks itself: 1 x G2 at 11
-- taken from PO1/2, and 8 x G4 at 1.5 = 23.
CALL tst_expect_error(
  'INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES (''PC9'', 1, ''G2'', 1, 11, 11)',
  '明细所属的单据不存在');
CALL tst_expect_error(
  'INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty) VALUES (''TI9'', 1, ''G2'', 1)',
  '明细所属的单据不存在');
INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsStoreIO)
  VALUES ('PC9', '2024-03-14', 'PC20240314001', 'V2', 'True');
INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount, RelationBid, RelationBNo, RelationKind)
  VALUES ('PC9', 1, 'G2', 1, 11, 11, 'PO1', 2, 3000);
INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('PC9', 2, 'G4', 8, 1.5, 12);
CALL tst_expect('V2 after PC9', tst_trader('V2'), -27);
CALL tst_expect('PC9/2 done', (SELECT doneQty FROM tb_pur_purchase_d WHERE Bid = 'PC9' AND BNo = 2), 8);
CALL tst_expect_text('PC9 finished', (SELECT Finished FROM tb_pur_purchase WHERE Bid = 'PC9'), 'True');
CALL tst_expect('PO1/2 received by PC9', (SELECT doneQty FROM tb_pur_order_d WHERE Bid = 'PO1' AND BNo = 2), 1);
CALL tst_expect_error('UPDATE tb_pur_purchase_d SET Bid = ''PC8'' WHERE Bid = ''PC9'' AND BNo = 2',
                      '明细所属的单据不存在');

-- A line moved to another bill: amounts move between the bills' owners, doneQty is recomputed
-- for its new place. While TO2/2 names it, it stays where it is.
INSERT INTO tb_sal_sale (Bid, BDate, BCode, TraderID) VALUES ('SA3', '2024-03-15', 'SA20240315001', 'C2');
CALL tst_expect_text('SA3 without lines', (SELECT Finished FROM tb_sal_sale WHERE Bid = 'SA3'), 'True');
CALL tst_expect_error('UPDATE tb_sal_sale_d SET Bid = ''SA3'', BNo = 1 WHERE Bid = ''SA2'' AND BNo = 2', '不能移到其他单据或行号');
DELETE FROM tb_sto_out_d WHERE Bid = 'TO2' AND BNo = 2;
UPDATE tb_sal_sale_d SET Bid = 'SA3', BNo = 1 WHERE Bid = 'SA2' AND BNo = 2;
CALL tst_expect('C1 after line moved away', tst_trader('C1'), 110);
CALL tst_expect('C2 after line moved in', tst_trader('C2'), -14);
CALL tst_expect('moved line not executed', (SELECT doneQty FROM tb_sal_sale_d WHERE Bid = 'SA3' AND BNo = 1), 0);
CALL tst_expect_text('SA3 open', (SELECT Finished FROM tb_sal_sale WHERE Bid = 'SA3'), 'False');

-- A sales order paid in advance (collected into A2), switched off and on again.
INSERT INTO tb_sal_order (Bid, BDate, BCode, TraderID, IsPay, AccountId, AccAmt)
  VALUES ('SO2', '2024-03-16', 'SO20240316001', 'C2', 'True', 'A2', 15);
INSERT INTO tb_sal_order_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('SO2', 1, 'G2', 1, 20, 20);
CALL tst_expect('C2 after prepayment', tst_trader('C2'), -29);
UPDATE tb_sal_order SET IsPay = 'false' WHERE Bid = 'SO2';
CALL tst_expect('C2 without prepayment', tst_trader('C2'), -14);
CALL tst_expect('A2 without prepayment', tst_account('A2'), 55);
UPDATE tb_sal_order SET IsPay = 'True' WHERE Bid = 'SO2';

-- Opening balance of an account changed later.
UPDATE ts_accountdetailflow SET IOAmount = 500 WHERE AccountID = 'A1' AND Bid = '-99';
CALL tst_expect('A1 after opening change', tst_account('A1'), 440);

-- Final balances.
CALL tst_expect('V1 final', tst_trader('V1'), 105);
CALL tst_expect('V2 final', tst_trader('V2'), -27);
CALL tst_expect('C1 final', tst_trader('C1'), 110);
CALL tst_expect('C2 final', tst_trader('C2'), -29);
CALL tst_expect('A1 final', tst_account('A1'), 440);
CALL tst_expect('A2 final', tst_account('A2'), 70);

-- ---------------------------------------------------------------------------------------------
-- Refused changes. Each leaves everything as it was.

CALL tst_expect_error('UPDATE tb_pur_order SET Bid = ''PO9'' WHERE Bid = ''PO1''', '单据ID不允许修改');
CALL tst_expect_error('UPDATE td_trader SET Id = ''V9'' WHERE Id = ''V1''', '基础资料ID不允许修改');
CALL tst_expect_error('DELETE FROM td_trader WHERE Id = ''V2''', '该往来单位已有业务发生');
CALL tst_expect_error('DELETE FROM td_account WHERE Id = ''A1''', '该帐户已有收支发生');
CALL tst_expect_error('delete from td_Store where ID=''100000000000001''', '系统数据，不允许删除');
CALL tst_expect_error('UPDATE td_store SET Name = ''仓库'' WHERE Id = ''100000000000001''', '系统数据，不允许修改');
CALL tst_expect_error('update td_GoodsType set Name=''其他'' where Id=''-9999''', '系统数据，禁止修改');
CALL tst_expect_error('DELETE FROM td_goodstype WHERE Id = ''-9999''', '系统数据，不允许删除');
CALL tst_expect_error('Insert into td_goodstype (Id,Name,PId,LevelCode) value (''GT9'',''子类'',''-9999'',''999abc'')', '系统数据，禁止增加子类');
CALL tst_expect_error('UPDATE tb_sal_sale SET IsStoreIO = ''True'' WHERE Bid = ''SA2''', '该单已有出入库单执行');
CALL tst_expect_text('SA2 still not auto-stocked', (SELECT IsStoreIO FROM tb_sal_sale WHERE Bid = 'SA2'), 'False');
CALL tst_expect('V2 unchanged by refusals', tst_trader('V2'), -27);

-- Duplicate names and codes fail with "Duplicate entry".
CALL tst_expect_error('Insert into td_unit (Id,Name) value (''U9'',''个'')', 'Duplicate entry');
CALL tst_expect_error('Insert into td_Account (Id,Name) value (''A9'',''银行'')', 'Duplicate entry');
CALL tst_expect_error('Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value (''V9'',''供货商甲'','''','''','''',''False'')', 'Duplicate entry');
CALL tst_expect_error('Insert into td_accountiotype (Id,Name,IODirect) value (''T9'',''房租'',-1)', 'Duplicate entry');
CALL tst_expect_error('INSERT INTO td_goods (Id, Code, Name, Spec) VALUES (''G9'', ''G001'', ''新品'', '''')', 'Duplicate entry');
CALL tst_expect_error('INSERT INTO td_goods (Id, Code, Name, Spec) VALUES (''G9'', ''G009'', ''可乐'', ''500ml'')', 'Duplicate entry');
CALL tst_expect_error('Insert into td_goodstype (Id,Name,PId,LevelCode) value (''GT9'',''果汁'',''-1'',''abc'')', 'Duplicate entry');
CALL tst_expect_error('Insert into td_goodstype (Id,Name,PId,LevelCode) value (''GT9'',''饮料'',''-1'',''xyz'')', 'Duplicate entry');
CALL tst_expect_error('INSERT INTO ts_userpower (UserID, ModuleID) VALUES (10002, ''YW_10002'')', 'Duplicate entry');
CALL tst_expect_error('INSERT INTO tb_pur_order (Bid, BCode) VALUES (''PO9'', ''PO20240301001'')', 'Duplicate entry');

-- A trader or account without business may go, with its opening row.
Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('V3','供货商丙','','','','False');
Insert into td_Account (Id,Name) value ('A3','备用金');
delete from td_Trader where ID='V3';
delete from td_Account where ID='A3';
CALL tst_expect('V3 opening row gone', (SELECT COUNT(*) FROM ts_traderbalancedetailflow WHERE TraderID = 'V3'), 0);
CALL tst_expect('A3 opening row gone', (SELECT COUNT(*) FROM ts_accountdetailflow WHERE AccountID = 'A3'), 0);

-- Stock months follow bills moved to another month, lines changing goods, a stock bill losing
-- its date, and refuse client writes (the invariant check compares them with the lines).
INSERT INTO tb_sto_in (Bid, BDate, BCode) VALUES ('TM1', '2024-01-31', 'TM20240131001');
INSERT INTO tb_sto_in_d (Bid, BNo, GoodsID, Qty) VALUES ('TM1', 1, 'G1', 7), ('TM1', 2, 'G2', 2);
UPDATE tb_sto_in SET BDate = '2024-02-01' WHERE Bid = 'TM1';
UPDATE tb_sto_in_d SET GoodsID = 'G1' WHERE Bid = 'TM1' AND BNo = 2;
CALL tst_expect('TM1 in February', (SELECT Qty FROM ts_goodsmonthflow WHERE Month = '2024-02-01' AND GoodsID = 'G1'), 9);
CALL tst_expect('nothing left in January', (SELECT COUNT(*) FROM ts_goodsmonthflow WHERE Month = '2024-01-01'), 0);
INSERT INTO tb_sto_out (Bid, BDate, BCode) VALUES ('TM2', '2024-02-10', 'TM20240210001');
INSERT INTO tb_sto_out_d (Bid, BNo, GoodsID, Qty) VALUES ('TM2', 1, 'G1', 9);
CALL tst_expect('February nets to zero but moved', (SELECT Moves FROM ts_goodsmonthflow WHERE Month = '2024-02-01' AND GoodsID = 'G1'), 3);
UPDATE tb_sto_out SET BDate = NULL WHERE Bid = 'TM2';
UPDATE tb_sto_in SET BDate = '2023-12-31' WHERE Bid = 'TM1';
CALL tst_expect('TM1 in 2023', (SELECT Qty FROM ts_goodsyearflow WHERE Year = '2023-01-01' AND GoodsID = 'G1'), 9);
DELETE FROM tb_sto_out_d WHERE Bid = 'TM2';
DELETE FROM tb_sto_in WHERE Bid = 'TM1';
CALL tst_expect('February gone with its bills', (SELECT COUNT(*) FROM ts_goodsmonthflow WHERE Month = '2024-02-01'), 0);
CALL tst_expect('2023 gone with its bills', (SELECT COUNT(*) FROM ts_goodsyearflow WHERE Year = '2023-01-01'), 0);
CALL tst_expect_error('INSERT INTO ts_goodsmonthflow (Month, GoodsID, Qty, Moves) VALUES (''2024-05-01'', ''G1'', 1, 1)', '系统维护');
CALL tst_expect_error('DELETE FROM ts_goodsmonthflow', '系统维护');

-- Trader months follow a bill moved to another month together with a change of trader, a
-- bill losing its date, and refuse client writes (the invariant check compares them with the
-- movements).
INSERT INTO tb_bal_gathering (Bid, BDate, BCode, TraderID, AccountId, AccAmt)
  VALUES ('BM1', '2024-04-30', 'BM20240430001', 'C1', 'A1', 12);
UPDATE tb_bal_gathering SET BDate = '2024-05-02', TraderID = 'C2' WHERE Bid = 'BM1';
CALL tst_expect('BM1 in May for C2', (SELECT Amount FROM ts_tradermonthflow WHERE Month = '2024-05-01' AND TraderID = 'C2'), -12);
CALL tst_expect('nothing left in April', (SELECT COUNT(*) FROM ts_tradermonthflow WHERE Month = '2024-04-01'), 0);
UPDATE tb_bal_gathering SET BDate = NULL WHERE Bid = 'BM1';
CALL tst_expect('undated BM1 in no month', (SELECT COUNT(*) FROM ts_tradermonthflow WHERE Month = '2024-05-01'), 0);
UPDATE tb_bal_gathering SET BDate = '2024-05-03' WHERE Bid = 'BM1';
DELETE FROM tb_bal_gathering WHERE Bid = 'BM1';
CALL tst_expect('May gone with its bill', (SELECT COUNT(*) FROM ts_tradermonthflow WHERE Month = '2024-05-01'), 0);
CALL tst_expect_error('UPDATE ts_tradermonthflow SET Amount = 0', '系统维护');

DROP PROCEDURE tst_expect;
DROP PROCEDURE tst_expect_text;
DROP PROCEDURE tst_expect_error;
DROP FUNCTION tst_trader;
DROP FUNCTION tst_account;
