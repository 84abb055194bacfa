-- Views read by the reports.

-- Stock movements, one row per bill line that moved stock: every line of a stock-in (+1) or
-- stock-out (-1) bill, and every line of a purchase or sales return (+1) or of a sale or
-- purchase return (-1) that moved its stock itself (IsStoreIO 'True'). qty is the line's
-- quantity without sign; ioDirect gives the sign. The store is the bill's; a line without a
-- unit (lines taken from source bills carry none) shows the goods' unit.
CREATE VIEW view_storebillflow AS
SELECT d.Bid AS bid, d.BNo AS bno, m.BDate AS bdate, m.BCode AS bcode, m.StoreId AS StoreId,
       d.GoodsID AS GoodsID, COALESCE(NULLIF(d.UnitID, ''), g.UnitID) AS UnitID,
       IFNULL(d.Qty, 0) AS qty, 1 AS ioDirect
  FROM tb_sto_in_d d JOIN tb_sto_in m ON m.Bid = d.Bid LEFT JOIN td_goods g ON g.Id = d.GoodsID
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID,
       COALESCE(NULLIF(d.UnitID, ''), g.UnitID), IFNULL(d.Qty, 0), -1
  FROM tb_sto_out_d d JOIN tb_sto_out m ON m.Bid = d.Bid LEFT JOIN td_goods g ON g.Id = d.GoodsID
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID,
       COALESCE(NULLIF(d.UnitID, ''), g.UnitID), IFNULL(d.Qty, 0), 1
  FROM tb_pur_purchase_d d JOIN tb_pur_purchase m ON m.Bid = d.Bid
  LEFT JOIN td_goods g ON g.Id = d.GoodsID
 WHERE m.IsStoreIO = 'True'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID,
       COALESCE(NULLIF(d.UnitID, ''), g.UnitID), IFNULL(d.Qty, 0), 1
  FROM tb_sal_back_d d JOIN tb_sal_back m ON m.Bid = d.Bid
  LEFT JOIN td_goods g ON g.Id = d.GoodsID
 WHERE m.IsStoreIO = 'True'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID,
       COALESCE(NULLIF(d.UnitID, ''), g.UnitID), IFNULL(d.Qty, 0), -1
  FROM tb_sal_sale_d d JOIN tb_sal_sale m ON m.Bid = d.Bid
  LEFT JOIN td_goods g ON g.Id = d.GoodsID
 WHERE m.IsStoreIO = 'True'
UNION ALL
SELECT d.Bid, d.BNo, m.BDate, m.BCode, m.StoreId, d.GoodsID,
       COALESCE(NULLIF(d.UnitID, ''), g.UnitID), IFNULL(d.Qty, 0), -1
  FROM tb_pur_back_d d JOIN tb_pur_back m ON m.Bid = d.Bid
  LEFT JOIN td_goods g ON g.Id = d.GoodsID
 WHERE m.IsStoreIO = 'True';

-- One row per bill of any kind, naming it for the flow reports (they join movements to it by
-- bid). Opening rows ('-99') have no bill and so no row here.
CREATE VIEW view_billflow AS
SELECT Bid AS bid, '采购订货单' AS billName, BDate AS bdate, BCode AS bcode, RevMemo AS Revmemo,
       ReMark AS remark
  FROM tb_pur_order
UNION ALL
SELECT Bid, '采购收货单', BDate, BCode, RevMemo, ReMark FROM tb_pur_purchase
UNION ALL
SELECT Bid, '采购退货单', BDate, BCode, RevMemo, ReMark FROM tb_pur_back
UNION ALL
SELECT Bid, '销售订货单', BDate, BCode, RevMemo, ReMark FROM tb_sal_order
UNION ALL
SELECT Bid, '销售发货单', BDate, BCode, RevMemo, ReMark FROM tb_sal_sale
UNION ALL
SELECT Bid, '销售退货单', BDate, BCode, RevMemo, ReMark FROM tb_sal_back
UNION ALL
SELECT Bid, '货品入库单', BDate, BCode, NULL, ReMark FROM tb_sto_in
UNION ALL
SELECT Bid, '货品出库单', BDate, BCode, NULL, ReMark FROM tb_sto_out
UNION ALL
SELECT Bid, '收款单', BDate, BCode, RevMemo, ReMark FROM tb_bal_gathering
UNION ALL
SELECT Bid, '付款单', BDate, BCode, RevMemo, ReMark FROM tb_bal_payment
UNION ALL
SELECT Bid, IF(BIoDirect = 1, '其他收入单', '费用支出单'), BDate, NULL, NULL, ReMark FROM tb_acc_io;
