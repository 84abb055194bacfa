-- Catalogue of the functions an owner can grant to an operator. The power window lists the
-- modules an operator does not hold yet with
--   select ID,ModuleCnName,groupID from UserdatabasePowerModule
--   where not id in (select ModuleID from <set>.ts_userpower where UserID=<operator>)
--   order by groupid,id
-- and copies ID, ModuleCnName and groupID into the set's ts_userpower, so ID must compare with
-- ts_userpower.ModuleID under the same collation (utf8mb4_general_ci, the server default).
-- groupID is text but the client filters it as a number ("groupid=1").

CREATE TABLE UserdatabasePowerModule (
  ID           VARCHAR(45)  NOT NULL,
  ModuleCnName VARCHAR(765) NOT NULL DEFAULT '',
  groupID      VARCHAR(3)   NOT NULL,
  PRIMARY KEY (ID),
  CONSTRAINT ck_module_id CHECK (ID REGEXP '^(DB|YW|RP)_[0-9]{5}$'),
  -- the group follows from the prefix: 1 base data, 2 bills, 3 reports
  CONSTRAINT ck_module_group CHECK (
    (groupID = '1' AND LEFT(ID, 3) = 'DB_') OR
    (groupID = '2' AND LEFT(ID, 3) = 'YW_') OR
    (groupID = '3' AND LEFT(ID, 3) = 'RP_'))
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Every function of the business module, with the name its button or report item shows.
INSERT INTO UserdatabasePowerModule (ID, ModuleCnName, groupID) VALUES
  ('DB_10001', '货品档案', '1'),
  ('DB_10002', '货品类别', '1'),
  ('DB_10003', '仓库档案', '1'),
  ('DB_10004', '结算帐户', '1'),
  ('DB_10005', '计量单位', '1'),
  ('DB_10006', '客户档案', '1'),
  ('DB_10007', '供货商档案', '1'),
  ('DB_10008', '收支类别', '1'),
  ('DB_50001', '客户应收款初始化', '1'),
  ('DB_50002', '供货商应付款初始化', '1'),
  ('DB_50003', '结算帐户余额初始化', '1'),
  ('YW_10001', '采购订货单', '2'),
  ('YW_10002', '采购收货单', '2'),
  ('YW_10003', '采购退货单', '2'),
  ('YW_11001', '销售订货单', '2'),
  ('YW_11002', '销售发货单', '2'),
  ('YW_11003', '销售退货单', '2'),
  ('YW_12001', '货品入库单', '2'),
  ('YW_12002', '货品出库单', '2'),
  ('YW_13001', '付款单', '2'),
  ('YW_13002', '收款单', '2'),
  ('YW_14001', '费用支出单', '2'),
  ('YW_14002', '其他收入单', '2'),
  ('RP_10001', '采购订货单汇总表', '3'),
  ('RP_10002', '采购订货单明细表', '3'),
  ('RP_10003', '采购收货单汇总表', '3'),
  ('RP_10004', '采购收货单明细表', '3'),
  ('RP_10005', '采购退货单汇总表', '3'),
  ('RP_10006', '采购退货单明细表', '3'),
  ('RP_11001', '销售订货单汇总表', '3'),
  ('RP_11002', '销售订货单明细表', '3'),
  ('RP_11003', '销售发货单汇总表', '3'),
  ('RP_11004', '销售发货单明细表', '3'),
  ('RP_11005', '销售退货单汇总表', '3'),
  ('RP_11006', '销售退货单明细表', '3'),
  ('RP_12001', '库存货品出入库汇总表', '3'),
  ('RP_12002', '库存货品出入库明细表', '3'),
  ('RP_13001', '供应商往来结算流水表', '3'),
  ('RP_13002', '客户往来结算流水表', '3'),
  ('RP_14001', '其他收入流水表', '3'),
  ('RP_14002', '费用支出流水表', '3');
