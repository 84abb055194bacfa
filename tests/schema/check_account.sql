-- Invariants of an account set's derived data, recomputed the plain way from the bills.
-- Every SELECT returns one 'FAIL: ...' row per broken invariant and nothing when all hold.
-- None of the schema's own routines are used: each rule is written out again here.

-- ---------------------------------------------------------------------------------------------
-- Fixed rows of every account set.

SELECT 'FAIL: the main store 100000000000001/主仓库 is missing'
 WHERE NOT EXISTS (SELECT 1 FROM td_store WHERE Id = '100000000000001' AND Name = '主仓库');

SELECT 'FAIL: the system goods type -9999 is missing'
 WHERE NOT EXISTS (SELECT 1 FROM td_goodstype WHERE Id = '-9999' AND PId = '-1');

-- ---------------------------------------------------------------------------------------------
-- Balances equal the signed sum of their movements.

SELECT CONCAT('FAIL: trader ', t.Id, ' Balance ', t.Balance, ' <> sum of movements ',
              IFNULL(s.total, 0))
  FROM td_trader t
  LEFT JOIN (SELECT TraderID, SUM(IOAmount * IODirection) AS total
               FROM ts_traderbalancedetailflow GROUP BY TraderID) s ON s.TraderID = t.Id
 WHERE t.Balance <> IFNULL(s.total, 0);

SELECT CONCAT('FAIL: account ', a.Id, ' Balance ', a.Balance, ' <> sum of movements ',
              IFNULL(s.total, 0))
  FROM td_account a
  LEFT JOIN (SELECT AccountID, SUM(IOAmount * IODirection) AS total
               FROM ts_accountdetailflow GROUP BY AccountID) s ON s.AccountID = a.Id
 WHERE a.Balance <> IFNULL(s.total, 0);

-- Exactly one opening row per trader and per account, and none for anybody else.

SELECT CONCAT('FAIL: trader ', t.Id, ' has ', COUNT(f.ID), ' opening rows')
  FROM td_trader t
  LEFT JOIN ts_traderbalancedetailflow f ON f.TraderID = t.Id AND f.Bid = '-99'
 GROUP BY t.Id
HAVING COUNT(f.ID) <> 1;

SELECT CONCAT('FAIL: account ', a.Id, ' has ', COUNT(f.ID), ' opening rows')
  FROM td_account a
  LEFT JOIN ts_accountdetailflow f ON f.AccountID = a.Id AND f.Bid = '-99'
 GROUP BY a.Id
HAVING COUNT(f.ID) <> 1;

SELECT CONCAT('FAIL: opening row of unknown trader ', f.TraderID)
  FROM ts_traderbalancedetailflow f
 WHERE f.Bid = '-99' AND NOT EXISTS (SELECT 1 FROM td_trader t WHERE t.Id = f.TraderID);

SELECT CONCAT('FAIL: opening row of unknown account ', f.AccountID)
  FROM ts_accountdetailflow f
 WHERE f.Bid = '-99' AND NOT EXISTS (SELECT 1 FROM td_account a WHERE a.Id = f.AccountID);

-- ---------------------------------------------------------------------------------------------
-- Trader movements: exactly the expected ones, with the expected owner, amount and sign.
--   purchase +amount, purchase return -amount, sale +amount, sales return -amount
--   (amount = sum of the bill's line amounts);
--   IsPay on any trade bill: -AccAmt, on a return +AccAmt;
--   receipt and payment: -(AccAmt + TrimAmt).

CREATE TEMPORARY TABLE chk_trader_expected (
  Bid VARCHAR(15), SrcTable VARCHAR(32), SrcPart TINYINT, TraderID VARCHAR(15),
  Signed DECIMAL(25, 4), Direction SMALLINT);

INSERT INTO chk_trader_expected
SELECT m.Bid, 'tb_pur_purchase', 1, m.TraderID,
       (SELECT IFNULL(SUM(d.Amount), 0) FROM tb_pur_purchase_d d WHERE d.Bid = m.Bid), 1
  FROM tb_pur_purchase m
UNION ALL
SELECT m.Bid, 'tb_pur_back', 1, m.TraderID,
       -(SELECT IFNULL(SUM(d.Amount), 0) FROM tb_pur_back_d d WHERE d.Bid = m.Bid), -1
  FROM tb_pur_back m
UNION ALL
SELECT m.Bid, 'tb_sal_sale', 1, m.TraderID,
       (SELECT IFNULL(SUM(d.Amount), 0) FROM tb_sal_sale_d d WHERE d.Bid = m.Bid), 1
  FROM tb_sal_sale m
UNION ALL
SELECT m.Bid, 'tb_sal_back', 1, m.TraderID,
       -(SELECT IFNULL(SUM(d.Amount), 0) FROM tb_sal_back_d d WHERE d.Bid = m.Bid), -1
  FROM tb_sal_back m
UNION ALL
SELECT Bid, 'tb_pur_order', 2, TraderID, -IFNULL(AccAmt, 0), -1
  FROM tb_pur_order WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_pur_purchase', 2, TraderID, -IFNULL(AccAmt, 0), -1
  FROM tb_pur_purchase WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_pur_back', 2, TraderID, IFNULL(AccAmt, 0), 1
  FROM tb_pur_back WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_order', 2, TraderID, -IFNULL(AccAmt, 0), -1
  FROM tb_sal_order WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_sale', 2, TraderID, -IFNULL(AccAmt, 0), -1
  FROM tb_sal_sale WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_back', 2, TraderID, IFNULL(AccAmt, 0), 1
  FROM tb_sal_back WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_bal_gathering', 1, TraderID, -(IFNULL(AccAmt, 0) + IFNULL(TrimAmt, 0)), -1
  FROM tb_bal_gathering
UNION ALL
SELECT Bid, 'tb_bal_payment', 1, TraderID, -(IFNULL(AccAmt, 0) + IFNULL(TrimAmt, 0)), -1
  FROM tb_bal_payment;

SELECT CONCAT('FAIL: trader movement missing or wrong for ', e.SrcTable, ' ', e.Bid, ' part ',
              e.SrcPart, ': expected ', IFNULL(e.TraderID, 'NULL'), ' ', e.Signed)
  FROM chk_trader_expected e
 WHERE NOT EXISTS (SELECT 1 FROM ts_traderbalancedetailflow f
                    WHERE f.Bid = e.Bid AND f.SrcTable = e.SrcTable AND f.SrcPart = e.SrcPart
                      AND f.TraderID <=> e.TraderID AND f.IODirection = e.Direction
                      AND f.IOAmount * f.IODirection = e.Signed);

SELECT CONCAT('FAIL: unexpected trader movement ', f.SrcTable, ' ', f.Bid, ' part ', f.SrcPart)
  FROM ts_traderbalancedetailflow f
 WHERE f.Bid <> '-99'
   AND NOT EXISTS (SELECT 1 FROM chk_trader_expected e
                    WHERE e.Bid = f.Bid AND e.SrcTable = f.SrcTable AND e.SrcPart = f.SrcPart);

SELECT CONCAT('FAIL: ', COUNT(*), ' trader movements for ', SrcTable, ' ', Bid, ' part ', SrcPart)
  FROM ts_traderbalancedetailflow
 WHERE Bid <> '-99'
 GROUP BY Bid, SrcTable, SrcPart
HAVING COUNT(*) > 1;

DROP TEMPORARY TABLE chk_trader_expected;

-- Account movements:
--   IsPay: purchase order, purchase -AccAmt; purchase return +AccAmt (refund received);
--          sales order, sale +AccAmt; sales return -AccAmt (refund paid);
--   receipt +AccAmt, payment -AccAmt; income / expense AccAmt * BIoDirect.

CREATE TEMPORARY TABLE chk_account_expected (
  Bid VARCHAR(15), SrcTable VARCHAR(32), SrcPart TINYINT, AccountID VARCHAR(15),
  Signed DECIMAL(25, 4));

INSERT INTO chk_account_expected
SELECT Bid, 'tb_pur_order', 2, AccountId, -IFNULL(AccAmt, 0)
  FROM tb_pur_order WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_pur_purchase', 2, AccountId, -IFNULL(AccAmt, 0)
  FROM tb_pur_purchase WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_pur_back', 2, AccountId, IFNULL(AccAmt, 0)
  FROM tb_pur_back WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_order', 2, AccountId, IFNULL(AccAmt, 0)
  FROM tb_sal_order WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_sale', 2, AccountId, IFNULL(AccAmt, 0)
  FROM tb_sal_sale WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_sal_back', 2, AccountId, -IFNULL(AccAmt, 0)
  FROM tb_sal_back WHERE UPPER(IsPay) = 'TRUE'
UNION ALL
SELECT Bid, 'tb_bal_gathering', 1, AccountId, IFNULL(AccAmt, 0) FROM tb_bal_gathering
UNION ALL
SELECT Bid, 'tb_bal_payment', 1, AccountId, -IFNULL(AccAmt, 0) FROM tb_bal_payment
UNION ALL
SELECT Bid, 'tb_acc_io', 1, AccountId, IFNULL(AccAmt, 0) * BIoDirect FROM tb_acc_io;

SELECT CONCAT('FAIL: account movement missing or wrong for ', e.SrcTable, ' ', e.Bid, ' part ',
              e.SrcPart, ': expected ', IFNULL(e.AccountID, 'NULL'), ' ', e.Signed)
  FROM chk_account_expected e
 WHERE NOT EXISTS (SELECT 1 FROM ts_accountdetailflow f
                    WHERE f.Bid = e.Bid AND f.SrcTable = e.SrcTable AND f.SrcPart = e.SrcPart
                      AND f.AccountID <=> e.AccountID AND f.IOAmount * f.IODirection = e.Signed);

SELECT CONCAT('FAIL: unexpected account movement ', f.SrcTable, ' ', f.Bid, ' part ', f.SrcPart)
  FROM ts_accountdetailflow f
 WHERE f.Bid <> '-99'
   AND NOT EXISTS (SELECT 1 FROM chk_account_expected e
                    WHERE e.Bid = f.Bid AND e.SrcTable = f.SrcTable AND e.SrcPart = f.SrcPart);

SELECT CONCAT('FAIL: ', COUNT(*), ' account movements for ', SrcTable, ' ', Bid, ' part ', SrcPart)
  FROM ts_accountdetailflow
 WHERE Bid <> '-99'
 GROUP BY Bid, SrcTable, SrcPart
HAVING COUNT(*) > 1;

DROP TEMPORARY TABLE chk_account_expected;

-- ---------------------------------------------------------------------------------------------
-- doneQty of source lines.
--   order line: Qty of the purchase (sale) lines taken from it (RelationKind 3000 / 3300);
--   purchase, sales return, sale, purchase return line: its own Qty when its bill moved the
--   stock itself (IsStoreIO 'True'), else the Qty of the stock-in (3100, 3500) or stock-out
--   (3400, 3200) lines that executed it.

SELECT CONCAT('FAIL: tb_pur_order_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ', x.done)
  FROM tb_pur_order_d d
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_pur_order_d o
          LEFT JOIN tb_pur_purchase_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3000
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> x.done;

SELECT CONCAT('FAIL: tb_sal_order_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ', x.done)
  FROM tb_sal_order_d d
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_sal_order_d o
          LEFT JOIN tb_sal_sale_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3300
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> x.done;

SELECT CONCAT('FAIL: tb_pur_purchase_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ',
              IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done))
  FROM tb_pur_purchase_d d
  LEFT JOIN tb_pur_purchase m ON m.Bid = d.Bid
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_pur_purchase_d o
          LEFT JOIN tb_sto_in_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3100
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done);

SELECT CONCAT('FAIL: tb_sal_back_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ',
              IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done))
  FROM tb_sal_back_d d
  LEFT JOIN tb_sal_back m ON m.Bid = d.Bid
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_sal_back_d o
          LEFT JOIN tb_sto_in_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3500
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done);

SELECT CONCAT('FAIL: tb_sal_sale_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ',
              IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done))
  FROM tb_sal_sale_d d
  LEFT JOIN tb_sal_sale m ON m.Bid = d.Bid
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_sal_sale_d o
          LEFT JOIN tb_sto_out_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3400
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done);

SELECT CONCAT('FAIL: tb_pur_back_d ', d.Bid, '/', d.BNo, ' doneQty ', d.doneQty, ' <> ',
              IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done))
  FROM tb_pur_back_d d
  LEFT JOIN tb_pur_back m ON m.Bid = d.Bid
  JOIN (SELECT o.Bid, o.BNo, IFNULL(SUM(f.Qty), 0) AS done
          FROM tb_pur_back_d o
          LEFT JOIN tb_sto_out_d f
            ON f.RelationBid = o.Bid AND f.RelationBNo = o.BNo AND f.RelationKind = 3200
         GROUP BY o.Bid, o.BNo) x ON x.Bid = d.Bid AND x.BNo = d.BNo
 WHERE d.doneQty <> IF(UPPER(m.IsStoreIO) = 'TRUE', IFNULL(d.Qty, 0), x.done);

-- A bill that moved its stock itself is never also executed by stock lines.
SELECT CONCAT('FAIL: stock line ', s.Bid, '/', s.BNo, ' executes auto-stocked ', s.RelationBid)
  FROM (SELECT Bid, BNo, RelationBid, RelationKind FROM tb_sto_in_d
        UNION ALL
        SELECT Bid, BNo, RelationBid, RelationKind FROM tb_sto_out_d) s
 WHERE EXISTS (SELECT 1 FROM tb_pur_purchase m WHERE s.RelationKind = 3100
                  AND m.Bid = s.RelationBid AND UPPER(m.IsStoreIO) = 'TRUE')
    OR EXISTS (SELECT 1 FROM tb_sal_back m WHERE s.RelationKind = 3500
                  AND m.Bid = s.RelationBid AND UPPER(m.IsStoreIO) = 'TRUE')
    OR EXISTS (SELECT 1 FROM tb_sal_sale m WHERE s.RelationKind = 3400
                  AND m.Bid = s.RelationBid AND UPPER(m.IsStoreIO) = 'TRUE')
    OR EXISTS (SELECT 1 FROM tb_pur_back m WHERE s.RelationKind = 3200
                  AND m.Bid = s.RelationBid AND UPPER(m.IsStoreIO) = 'TRUE');

-- ---------------------------------------------------------------------------------------------
-- Finished is 'True' exactly when no line that is not paused has Qty > doneQty.

SELECT CONCAT('FAIL: ', b.tbl, ' ', b.Bid, ' Finished ', b.Finished, ' but ', b.open_lines,
              ' open lines')
  FROM (SELECT 'tb_pur_order' AS tbl, m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_pur_order_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty) AS open_lines
          FROM tb_pur_order m
        UNION ALL
        SELECT 'tb_pur_purchase', m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_pur_purchase_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty)
          FROM tb_pur_purchase m
        UNION ALL
        SELECT 'tb_pur_back', m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_pur_back_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty)
          FROM tb_pur_back m
        UNION ALL
        SELECT 'tb_sal_order', m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_sal_order_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty)
          FROM tb_sal_order m
        UNION ALL
        SELECT 'tb_sal_sale', m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_sal_sale_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty)
          FROM tb_sal_sale m
        UNION ALL
        SELECT 'tb_sal_back', m.Bid, m.Finished,
               (SELECT COUNT(*) FROM tb_sal_back_d d WHERE d.Bid = m.Bid
                   AND UPPER(d.Pause) <> 'TRUE' AND IFNULL(d.Qty, 0) > d.doneQty)
          FROM tb_sal_back m) b
 WHERE BINARY b.Finished <> IF(b.open_lines > 0, 'False', 'True');

-- ---------------------------------------------------------------------------------------------
-- view_storebillflow holds exactly the stock-moving lines: all stock-in (+1) and stock-out (-1)
-- lines, and the lines of purchases and sales returns (+1), sales and purchase returns (-1)
-- whose bill has IsStoreIO 'True'; with the bill's date, code and store.

CREATE TEMPORARY TABLE chk_stock_expected (
  bid VARCHAR(15), bno INT, bdate DATE, bcode VARCHAR(17), StoreId VARCHAR(15),
  GoodsID VARCHAR(15), qty DECIMAL(13, 4), ioDirect INT);

INSERT INTO chk_stock_expected
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), 1
  FROM tb_sto_in_d d JOIN tb_sto_in m ON m.Bid = d.Bid
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), -1
  FROM tb_sto_out_d d JOIN tb_sto_out m ON m.Bid = d.Bid
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), 1
  FROM tb_pur_purchase_d d JOIN tb_pur_purchase m ON m.Bid = d.Bid
 WHERE UPPER(m.IsStoreIO) = 'TRUE'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), 1
  FROM tb_sal_back_d d JOIN tb_sal_back m ON m.Bid = d.Bid
 WHERE UPPER(m.IsStoreIO) = 'TRUE'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), -1
  FROM tb_sal_sale_d d JOIN tb_sal_sale m ON m.Bid = d.Bid
 WHERE UPPER(m.IsStoreIO) = 'TRUE'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID, IFNULL(d.Qty, 0), -1
  FROM tb_pur_back_d d JOIN tb_pur_back m ON m.Bid = d.Bid
 WHERE UPPER(m.IsStoreIO) = 'TRUE';

SELECT CONCAT('FAIL: view_storebillflow lacks or garbles line ', e.bid, '/', e.bno)
  FROM chk_stock_expected e
 WHERE (SELECT COUNT(*) FROM view_storebillflow v
         WHERE v.bid = e.bid AND v.bno = e.bno AND v.ioDirect = e.ioDirect AND v.qty = e.qty
           AND v.GoodsID = e.GoodsID AND v.bdate <=> e.bdate AND v.bcode <=> e.bcode
           AND v.StoreId <=> e.StoreId)
       <> (SELECT COUNT(*) FROM chk_stock_expected e2
            WHERE e2.bid = e.bid AND e2.bno = e.bno AND e2.ioDirect = e.ioDirect);

SELECT CONCAT('FAIL: view_storebillflow has ', (SELECT COUNT(*) FROM view_storebillflow),
              ' rows, expected ', (SELECT COUNT(*) FROM chk_stock_expected))
 WHERE (SELECT COUNT(*) FROM view_storebillflow) <> (SELECT COUNT(*) FROM chk_stock_expected);

SELECT CONCAT('FAIL: view_storebillflow line ', v.bid, '/', v.bno,
              ' has no unit although its goods has one')
  FROM view_storebillflow v JOIN td_goods g ON g.Id = v.GoodsID
 WHERE v.UnitID IS NULL AND g.UnitID IS NOT NULL;

DROP TEMPORARY TABLE chk_stock_expected;

-- view_billflow names every bill once, and nothing else.
SELECT CONCAT('FAIL: view_billflow has ', COUNT(*), ' rows for bill ', bid)
  FROM view_billflow GROUP BY bid HAVING COUNT(*) > 1;

SELECT CONCAT('FAIL: view_billflow has ', (SELECT COUNT(*) FROM view_billflow), ' rows for ', n,
              ' bills')
  FROM (SELECT (SELECT COUNT(*) FROM tb_pur_order) + (SELECT COUNT(*) FROM tb_pur_purchase)
             + (SELECT COUNT(*) FROM tb_pur_back) + (SELECT COUNT(*) FROM tb_sal_order)
             + (SELECT COUNT(*) FROM tb_sal_sale) + (SELECT COUNT(*) FROM tb_sal_back)
             + (SELECT COUNT(*) FROM tb_sto_in) + (SELECT COUNT(*) FROM tb_sto_out)
             + (SELECT COUNT(*) FROM tb_bal_gathering) + (SELECT COUNT(*) FROM tb_bal_payment)
             + (SELECT COUNT(*) FROM tb_acc_io) AS n) c
 WHERE n <> (SELECT COUNT(*) FROM view_billflow);

SELECT CONCAT('FAIL: view_billflow names ', v.bid, ' ', v.billName, ' instead of ', b.billName)
  FROM view_billflow v
  JOIN (SELECT Bid, '采购订货单' AS billName FROM tb_pur_order
        UNION ALL SELECT Bid, '采购收货单' FROM tb_pur_purchase
        UNION ALL SELECT Bid, '采购退货单' FROM tb_pur_back
        UNION ALL SELECT Bid, '销售订货单' FROM tb_sal_order
        UNION ALL SELECT Bid, '销售发货单' FROM tb_sal_sale
        UNION ALL SELECT Bid, '销售退货单' FROM tb_sal_back
        UNION ALL SELECT Bid, '货品入库单' FROM tb_sto_in
        UNION ALL SELECT Bid, '货品出库单' FROM tb_sto_out
        UNION ALL SELECT Bid, '收款单' FROM tb_bal_gathering
        UNION ALL SELECT Bid, '付款单' FROM tb_bal_payment
        UNION ALL SELECT Bid, IF(BIoDirect = 1, '其他收入单', '费用支出单') FROM tb_acc_io) b
    ON b.Bid = v.bid
 WHERE v.billName <> b.billName;

-- ---------------------------------------------------------------------------------------------
-- Stock months hold, per goods and month, the signed sum and count of the stock movements.

SELECT CONCAT('FAIL: stock month ', IFNULL(k.Month, x.Month), ' goods ', IFNULL(k.GoodsID, x.GoodsID),
              ' kept ', IFNULL(k.Qty, 'nothing'), '/', IFNULL(k.Moves, 0), ' <> lines ',
              IFNULL(x.Qty, 'nothing'), '/', IFNULL(x.Moves, 0))
  FROM (SELECT Month, GoodsID, SUM(Qty) AS Qty, SUM(n) AS Moves
          FROM (SELECT DATE_FORMAT(m.BDate, '%Y-%m-01') AS Month, d.GoodsID,
                       SUM(IFNULL(d.Qty, 0)) AS Qty, COUNT(*) AS n
                  FROM tb_sto_in m JOIN tb_sto_in_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL GROUP BY 1, 2
                UNION ALL
                SELECT DATE_FORMAT(m.BDate, '%Y-%m-01'), d.GoodsID, -SUM(IFNULL(d.Qty, 0)), COUNT(*)
                  FROM tb_sto_out m JOIN tb_sto_out_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL GROUP BY 1, 2
                UNION ALL
                SELECT DATE_FORMAT(m.BDate, '%Y-%m-01'), d.GoodsID, SUM(IFNULL(d.Qty, 0)), COUNT(*)
                  FROM tb_pur_purchase m JOIN tb_pur_purchase_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL AND m.IsStoreIO = 'True' GROUP BY 1, 2
                UNION ALL
                SELECT DATE_FORMAT(m.BDate, '%Y-%m-01'), d.GoodsID, SUM(IFNULL(d.Qty, 0)), COUNT(*)
                  FROM tb_sal_back m JOIN tb_sal_back_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL AND m.IsStoreIO = 'True' GROUP BY 1, 2
                UNION ALL
                SELECT DATE_FORMAT(m.BDate, '%Y-%m-01'), d.GoodsID, -SUM(IFNULL(d.Qty, 0)), COUNT(*)
                  FROM tb_sal_sale m JOIN tb_sal_sale_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL AND m.IsStoreIO = 'True' GROUP BY 1, 2
                UNION ALL
                SELECT DATE_FORMAT(m.BDate, '%Y-%m-01'), d.GoodsID, -SUM(IFNULL(d.Qty, 0)), COUNT(*)
                  FROM tb_pur_back m JOIN tb_pur_back_d d ON d.Bid = m.Bid
                 WHERE m.BDate IS NOT NULL AND m.IsStoreIO = 'True' GROUP BY 1, 2) u
         GROUP BY Month, GoodsID) x
  LEFT JOIN ts_goodsmonthflow k ON k.Month = x.Month AND k.GoodsID = x.GoodsID
 WHERE k.GoodsID IS NULL OR k.Qty <> x.Qty OR k.Moves <> x.Moves
UNION ALL
SELECT CONCAT('FAIL: stock month ', k.Month, ' goods ', k.GoodsID, ' kept without lines')
  FROM ts_goodsmonthflow k
 WHERE NOT EXISTS (SELECT 1 FROM view_storebillflow v
                    WHERE v.GoodsID = k.GoodsID AND v.bdate >= k.Month
                      AND v.bdate < k.Month + INTERVAL 1 MONTH);

-- Trader months hold, per trader and month, what the movements dated by their bills give.

SELECT CONCAT('FAIL: trader month ', IFNULL(k.Month, x.Month), ' trader ',
              IFNULL(k.TraderID, x.TraderID), ' kept ', IFNULL(k.Amount, 'nothing'), '/',
              IFNULL(k.Moves, 0), '/', IFNULL(k.Valued, 0), ' <> movements ',
              IFNULL(x.Amount, 'nothing'), '/', IFNULL(x.Moves, 0), '/', IFNULL(x.Valued, 0))
  FROM (SELECT DATE_FORMAT(v.bdate, '%Y-%m-01') AS Month, m.TraderID,
               IFNULL(SUM(m.IOAmount * m.IODirection), 0) AS Amount, COUNT(*) AS Moves,
               COUNT(m.IOAmount * m.IODirection) AS Valued
          FROM ts_traderbalancedetailflow m JOIN view_billflow v ON v.bid = m.Bid
         WHERE v.bdate IS NOT NULL AND m.Bid <> '-99' AND m.TraderID IS NOT NULL
         GROUP BY 1, 2) x
  LEFT JOIN ts_tradermonthflow k ON k.Month = x.Month AND k.TraderID = x.TraderID
 WHERE k.TraderID IS NULL OR k.Amount <> x.Amount OR k.Moves <> x.Moves OR k.Valued <> x.Valued
UNION ALL
SELECT CONCAT('FAIL: trader month ', k.Month, ' trader ', k.TraderID, ' kept without movements')
  FROM ts_tradermonthflow k
 WHERE NOT EXISTS (SELECT 1 FROM ts_traderbalancedetailflow m JOIN view_billflow v ON v.bid = m.Bid
                    WHERE m.TraderID = k.TraderID AND m.Bid <> '-99' AND v.bdate >= k.Month
                      AND v.bdate < k.Month + INTERVAL 1 MONTH);

-- The years hold the sums of their months, and no year is kept without months.

SELECT CONCAT('FAIL: stock year ', x.Year, ' goods ', x.GoodsID, ' kept ',
              IFNULL(y.Qty, 'nothing'), '/', IFNULL(y.Moves, 0), ' <> months ', x.Qty, '/', x.Moves)
  FROM (SELECT MAKEDATE(YEAR(Month), 1) AS Year, GoodsID, SUM(Qty) AS Qty, SUM(Moves) AS Moves
          FROM ts_goodsmonthflow GROUP BY 1, 2) x
  LEFT JOIN ts_goodsyearflow y ON y.Year = x.Year AND y.GoodsID = x.GoodsID
 WHERE y.GoodsID IS NULL OR y.Qty <> x.Qty OR y.Moves <> x.Moves
UNION ALL
SELECT CONCAT('FAIL: stock year ', y.Year, ' goods ', y.GoodsID, ' kept without months')
  FROM ts_goodsyearflow y
 WHERE NOT EXISTS (SELECT 1 FROM ts_goodsmonthflow k WHERE k.GoodsID = y.GoodsID
                      AND k.Month >= y.Year AND k.Month < y.Year + INTERVAL 1 YEAR);

SELECT CONCAT('FAIL: trader year ', x.Year, ' trader ', x.TraderID, ' kept ',
              IFNULL(y.Amount, 'nothing'), '/', IFNULL(y.Moves, 0), '/', IFNULL(y.Valued, 0),
              ' <> months ', x.Amount, '/', x.Moves, '/', x.Valued)
  FROM (SELECT MAKEDATE(YEAR(Month), 1) AS Year, TraderID, SUM(Amount) AS Amount,
               SUM(Moves) AS Moves, SUM(Valued) AS Valued
          FROM ts_tradermonthflow GROUP BY 1, 2) x
  LEFT JOIN ts_traderyearflow y ON y.Year = x.Year AND y.TraderID = x.TraderID
 WHERE y.TraderID IS NULL OR y.Amount <> x.Amount OR y.Moves <> x.Moves OR y.Valued <> x.Valued
UNION ALL
SELECT CONCAT('FAIL: trader year ', y.Year, ' trader ', y.TraderID, ' kept without months')
  FROM ts_traderyearflow y
 WHERE NOT EXISTS (SELECT 1 FROM ts_tradermonthflow k WHERE k.TraderID = y.TraderID
                      AND k.Month >= y.Year AND k.Month < y.Year + INTERVAL 1 YEAR);
