-- Checks of the system database. Run against a freshly migrated, otherwise empty system
-- database: it loads its own scenario (the client's statements, written as the client writes
-- them), then every broken invariant yields a row "FAIL: ...". No row means all is well; a
-- statement the scenario expects to succeed that fails stops the script with an error.

CREATE TEMPORARY TABLE chk_fail (
  seq INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  msg VARCHAR(1000) NOT NULL
);

-- Runs stmt and records a failure unless it is refused with a message containing want.
DELIMITER $$
CREATE PROCEDURE chk_expect_error(IN label VARCHAR(200), IN stmt TEXT, IN want VARCHAR(200))
BEGIN
  DECLARE got TEXT DEFAULT NULL;
  DECLARE CONTINUE HANDLER FOR SQLEXCEPTION GET DIAGNOSTICS CONDITION 1 got = MESSAGE_TEXT;
  SET @chk_stmt = stmt;
  PREPARE chk_s FROM @chk_stmt;
  EXECUTE chk_s;
  DEALLOCATE PREPARE chk_s;
  IF got IS NULL THEN
    INSERT INTO chk_fail (msg) VALUES (CONCAT(label, ': accepted, expected "', want, '"'));
  ELSEIF LOCATE(want, got) = 0 THEN
    INSERT INTO chk_fail (msg) VALUES (CONCAT(label, ': ', got));
  END IF;
END$$
DELIMITER ;

-- ---------------------------------------------------------------------------------------------
-- Columns the client names, spelled exactly, with the types its data sets expect.

CREATE TEMPORARY TABLE chk_cols (t VARCHAR(64), c VARCHAR(64), ty VARCHAR(64));
INSERT INTO chk_cols VALUES
  ('sys_autoupdateinfo', 'id', 'int(11)'),
  ('sys_autoupdateinfo', 'Client_Version', 'int(11)'),
  ('sys_autoupdateinfo', 'DownLoadURL', 'varchar(1024)'),
  ('sys_mainuserbaseinfo', 'UserID', 'bigint(20)'),
  ('sys_mainuserbaseinfo', 'NickName', 'varchar(120)'),
  ('sys_mainuserbaseinfo', 'HeadImgName', 'varchar(255)'),
  ('userdatabase', 'UserID', 'bigint(20)'),
  ('userdatabase', 'UserDBID', 'varchar(240)'),
  ('userdatabase', 'UserDBName', 'varchar(765)'),
  ('userdatabase', 'IsDefault', 'varchar(24)'),
  ('userdatabaseoperator', 'UserDBID', 'varchar(240)'),
  ('userdatabaseoperator', 'UserID', 'bigint(20)'),
  ('userdatabasepowermodule', 'ID', 'varchar(45)'),
  ('userdatabasepowermodule', 'ModuleCnName', 'varchar(765)'),
  ('userdatabasepowermodule', 'groupID', 'varchar(3)'),
  ('usercalendar', 'ID', 'bigint(20)'),
  ('usercalendar', 'UserID', 'bigint(20)'),
  ('usercalendar', 'Title', 'varchar(255)'),
  ('usercalendar', 'Date', 'date'),
  ('usercalendar', 'Remark', 'varchar(2000)'),
  ('usercalendar', 'Level', 'varchar(16)'),
  ('usercalendar', 'Finished', 'varchar(8)'),
  ('usercalendar', 'IsAlarm', 'varchar(4)'),
  ('usercalendar', 'AlarmTime', 'time'),
  ('usercalendar', 'RepeatMode', 'varchar(4)'),
  ('usercalendar', 'RepeatValue', 'varchar(32)'),
  ('usercalendar', 'LoopID', 'varchar(40)'),
  ('usercalendar_ex', 'ID', 'varchar(40)'),
  ('usercalendar_ex', 'UserID', 'bigint(20)'),
  ('usercalendar_ex', 'Title', 'varchar(255)'),
  ('usercalendar_ex', 'Date', 'date'),
  ('usercalendar_ex', 'Remark', 'varchar(2000)'),
  ('usercalendar_ex', 'Level', 'varchar(16)'),
  ('usercalendar_ex', 'IsAlarm', 'varchar(4)'),
  ('usercalendar_ex', 'AlarmTime', 'time'),
  ('usercalendar_ex', 'RepeatMode', 'varchar(4)'),
  ('usercalendar_ex', 'RepeatValue', 'varchar(32)'),
  ('userpersincard', 'ID', 'bigint(20)'),
  ('userpersincard', 'UserID', 'bigint(20)'),
  ('userpersincard', 'IOType', 'varchar(384)'),
  ('userpersincard', 'bdate', 'date'),
  ('userpersincard', 'IOAmt', 'decimal(13,2)'),
  ('userpersincard', 'Remark', 'varchar(1536)'),
  ('userpersincard', 'IODirect', 'int(11)'),
  ('userpersincard', 'IOKind', 'int(11)'),
  ('userpersioniotype', 'ID', 'bigint(20)'),
  ('userpersioniotype', 'UserID', 'bigint(20)'),
  ('userpersioniotype', 'IOKind', 'int(11)'),
  ('userpersioniotype', 'IODirect', 'int(11)'),
  ('userpersioniotype', 'IOType', 'varchar(512)');

SELECT CONCAT('FAIL: column ', k.t, '.', k.c, ' missing, misspelt or not ', k.ty)
FROM chk_cols k
WHERE NOT EXISTS (
  SELECT 1 FROM information_schema.COLUMNS s
  WHERE s.TABLE_SCHEMA = DATABASE() AND s.TABLE_NAME = k.t
    AND s.COLUMN_NAME = k.c COLLATE utf8mb4_bin AND s.COLUMN_TYPE = k.ty);

-- ---------------------------------------------------------------------------------------------
-- Version row, exactly as the launcher reads it.

SELECT 'FAIL: version row -99 missing or not unique'
FROM (SELECT COUNT(*) AS n FROM sys_autoupdateinfo WHERE id = -99) v WHERE v.n <> 1;
SELECT CONCAT('FAIL: version row holds ', Client_Version, ' / ', DownLoadURL)
FROM sys_autoupdateinfo WHERE id = -99
  AND NOT (Client_Version = 0 AND DownLoadURL LIKE 'http%://%/download/');

-- ---------------------------------------------------------------------------------------------
-- Module catalogue: every function of the business module, grouped by its prefix, with the
-- exact name its button or report item shows.

SELECT CONCAT('FAIL: catalogue holds ', COUNT(*), ' modules instead of 41')
FROM UserdatabasePowerModule HAVING COUNT(*) <> 41;
SELECT CONCAT('FAIL: group ', g.groupID, ' holds ', COUNT(m.ID), ' modules instead of ', g.n)
FROM (SELECT '1' AS groupID, 11 AS n UNION ALL SELECT '2', 12 UNION ALL SELECT '3', 18) g
LEFT JOIN UserdatabasePowerModule m ON m.groupID = g.groupID
GROUP BY g.groupID, g.n HAVING COUNT(m.ID) <> g.n;

CREATE TEMPORARY TABLE chk_modules (ID VARCHAR(45), ModuleCnName VARCHAR(765), groupID VARCHAR(3));
INSERT INTO chk_modules VALUES
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
SELECT CONCAT('FAIL: catalogue row ', k.ID, ' missing or different')
FROM chk_modules k
WHERE NOT EXISTS (
  SELECT 1 FROM UserdatabasePowerModule m
  WHERE m.ID = k.ID COLLATE utf8mb4_bin AND m.ModuleCnName = k.ModuleCnName COLLATE utf8mb4_bin
    AND m.groupID = k.groupID);
-- the radio buttons filter with a numeric comparison
SELECT 'FAIL: groupid=2 does not select the 12 bill modules'
FROM (SELECT COUNT(*) AS n FROM UserdatabasePowerModule WHERE groupid=2) v WHERE v.n <> 12;
CALL chk_expect_error('catalogue duplicate',
  'INSERT INTO UserdatabasePowerModule (ID,ModuleCnName,groupID) VALUES (''DB_10001'',''x'',''1'')',
  'Duplicate entry');
CALL chk_expect_error('catalogue group of another prefix',
  'INSERT INTO UserdatabasePowerModule (ID,ModuleCnName,groupID) VALUES (''DB_20001'',''x'',''2'')',
  'ck_module_group');

-- ---------------------------------------------------------------------------------------------
-- Users, account sets, operators, with the client's own statements.

INSERT INTO sys_mainuserbaseinfo (UserID, NickName, HeadImgName) VALUES
  (12345, '张老板', 'h1.png'), (12346, '小李', ''), (23456, '王会计', '');
INSERT INTO userdatabase (UserID, UserDBID, UserDBName) VALUES
  (12345, '12345_01', '一号店'), (12345, '12345_03', '三号店'), (23456, '23456_01', '王记');

Insert into userdatabaseoperator (UserDBID,UserID) values ('12345_01','12346');
Insert into userdatabaseoperator (UserDBID,UserID) values ('23456_01','12345');

SELECT 'FAIL: new account sets are not created with IsDefault False'
FROM userdatabase WHERE IsDefault <> 'False' LIMIT 1;

-- account-set window of the owner: own two sets plus the admitted one
SELECT CONCAT('FAIL: owner sees ', COUNT(*), ' sets instead of 3')
FROM (select * from (SELECT UserID,UserDBID,UserDBName,IsDefault from userdatabase UNION ALL SELECT UO.UserID,UO.UserDBID,UD.UserDBName,'False' as IsDefault from userdatabaseoperator UO LEFT JOIN userdatabase UD ON UO.UserDBID=UD.UserDBID) as dlt where UserID='12345') x
HAVING COUNT(*) <> 3;
-- the operator sees the set with its name, never as default
SELECT 'FAIL: operator does not see 12345_01 named 一号店'
FROM (SELECT COUNT(*) AS n FROM (select * from (SELECT UserID,UserDBID,UserDBName,IsDefault from userdatabase UNION ALL SELECT UO.UserID,UO.UserDBID,UD.UserDBName,'False' as IsDefault from userdatabaseoperator UO LEFT JOIN userdatabase UD ON UO.UserDBID=UD.UserDBID) as dlt where UserID='12346') x
      WHERE x.UserDBID = '12345_01' AND x.UserDBName = '一号店' AND x.IsDefault = 'False') v
WHERE v.n <> 1;

-- user search by a fragment of the login ID
SELECT 'FAIL: user search by login ID fragment'
FROM (SELECT COUNT(*) AS n FROM (select UserID,NickName from sys_mainuserbaseinfo where UserID like '%234%' limit 200) x) v
WHERE v.n <> 3;
SELECT 'FAIL: user search by nickname fragment'
FROM (SELECT COUNT(*) AS n FROM (select UserID,NickName from sys_mainuserbaseinfo where NickName like '%老板%' limit 200) x) v
WHERE v.n <> 1;

-- rename: only the owner's row can match
update UserDataBase set UserDBName='改名' where UserID='12346' and UserDBID='12345_01';
SELECT 'FAIL: an operator renamed a set' FROM userdatabase WHERE UserDBID = '12345_01' AND UserDBName <> '一号店';
update UserDataBase set UserDBName='一号门店' where UserID='12345' and UserDBID='12345_01';
SELECT 'FAIL: the owner could not rename a set' FROM userdatabase WHERE UserDBID = '12345_01' AND UserDBName <> '一号门店';

CALL chk_expect_error('operator admitted twice',
  'Insert into userdatabaseoperator (UserDBID,UserID) values (''12345_01'',''12346'')',
  'Duplicate entry');
CALL chk_expect_error('account set created twice',
  'INSERT INTO userdatabase (UserID,UserDBID,UserDBName) VALUES (23456,''12345_01'',''x'')',
  'Duplicate entry');
CALL chk_expect_error('user registered twice',
  'INSERT INTO sys_mainuserbaseinfo (UserID,NickName) VALUES (12345,''x'')',
  'Duplicate entry');
CALL chk_expect_error('operator of an unknown set',
  'Insert into userdatabaseoperator (UserDBID,UserID) values (''99999_01'',''12346'')',
  'foreign key constraint fails');
CALL chk_expect_error('operator who is not a user',
  'Insert into userdatabaseoperator (UserDBID,UserID) values (''12345_03'',''77777'')',
  'foreign key constraint fails');
-- login IDs have five to nine digits (the account sets keep them in 32-bit integers)
CALL chk_expect_error('four-digit login ID',
  'INSERT INTO sys_mainuserbaseinfo (UserID,NickName) VALUES (1234,''x'')', 'ck_mainuser_loginid');
CALL chk_expect_error('ten-digit login ID',
  'INSERT INTO sys_mainuserbaseinfo (UserID,NickName) VALUES (1000000000,''x'')', 'ck_mainuser_loginid');

delete from userdatabaseoperator where UserDBID='12345_01' and UserID='12346';
SELECT 'FAIL: operator not removed' FROM userdatabaseoperator WHERE UserDBID = '12345_01' AND UserID = 12346;

-- ---------------------------------------------------------------------------------------------
-- Calendar.

-- single task without alarm, single task with alarm
INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES ('12345','盘点','2024-03-04','月初盘点','-1,0','False','0',null,'1','');
INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES ('12345','对账','2024-03-06','','0,-1','False','-1','08:30:00','1','');
-- a weekly template (Monday and Friday) and the occurrence of Monday finished
INSERT INTO usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES ('123451482948608','12345','进货','2024-03-04','','0,0','0',null,'3','1,5');
INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue,LoopID) VALUES ('12345','进货','2024-03-04','','0,0','True','0',null,'3','1,5','123451482948608');
-- someone else's task in the same week
INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES ('23456','报税','2024-03-05','','0,0','False','0',null,'1','');

SELECT CONCAT('FAIL: week load returned ', COUNT(*), ' rows instead of 3')
FROM (select ID,UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue,loopID from usercalendar where  (date between'2024-03-04' and '2024-03-10') and userid = '12345') x
HAVING COUNT(*) <> 3;
SELECT 'FAIL: a task created directly has a LoopID or no repeat mode 1'
FROM usercalendar WHERE Title = '盘点' AND NOT (LoopID IS NULL AND RepeatMode = '1' AND RepeatValue = '');
SELECT 'FAIL: alarm time not stored as a time of day'
FROM usercalendar WHERE Title = '对账' AND NOT (AlarmTime <=> TIME '08:30:00');
SELECT 'FAIL: templates of the user not loaded'
FROM (SELECT COUNT(*) AS n FROM (select ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,RepeatMode,RepeatValue from usercalendar_ex where userid = '12345') x) v
WHERE v.n <> 1;

SET @task = (SELECT ID FROM usercalendar WHERE Title = '盘点');
SET @sql = CONCAT('update usercalendar set finished=''True'' where ID=''', @task, '''');
PREPARE s FROM @sql; EXECUTE s; DEALLOCATE PREPARE s;
SELECT 'FAIL: finishing a stored task' FROM usercalendar WHERE ID = @task AND Finished <> 'True';
SET @sql = CONCAT('update usercalendar set UserID=''12345'',Title=''盘点2'',Date=''2024-03-05'',Remark='''',Level=''0,0'',IsAlarm=''0'',AlarmTime=null,RepeatMode=''1'',RepeatValue='''' where id=''', @task, '''');
PREPARE s FROM @sql; EXECUTE s; DEALLOCATE PREPARE s;
SELECT 'FAIL: editing a stored task' FROM usercalendar WHERE ID = @task AND NOT (Title = '盘点2' AND `Date` = '2024-03-05');
update usercalendar_ex set UserID='12345',Title='进货',Date='2024-03-04',Remark='周一周五',Level='-1,-1',IsAlarm='-1',AlarmTime='09:00:00',RepeatMode='3',RepeatValue='1,3,5' where id='123451482948608';
SELECT 'FAIL: editing a template' FROM usercalendar_ex WHERE ID = '123451482948608' AND RepeatValue <> '1,3,5';

-- two templates saved within one 2-second step carry the same id: the second is refused
CALL chk_expect_error('template id twice',
  'INSERT INTO usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES (''123451482948608'',''12345'',''x'',''2024-03-04'','''',''0,0'',''0'',null,''2'','''')',
  'Duplicate entry');
-- stored ids come from the database only and never change
CALL chk_expect_error('calendar id supplied',
  'INSERT INTO usercalendar (ID,UserID,Title,Date) VALUES (9900000001,12345,''x'',''2024-03-04'')',
  'assigned by the database');
CALL chk_expect_error('calendar small id supplied',
  'INSERT INTO usercalendar (ID,UserID,Title,Date) VALUES (77,12345,''x'',''2024-03-04'')',
  'assigned by the database');
CALL chk_expect_error('calendar id changed',
  'UPDATE usercalendar SET ID = 9900000001 WHERE Title = ''对账''', 'cannot be changed');

delete from  usercalendar_ex where id='123451482948608';
SELECT 'FAIL: deleting a template removed its stored occurrence'
FROM (SELECT COUNT(*) AS n FROM usercalendar WHERE LoopID = '123451482948608') v WHERE v.n <> 1;

-- ---------------------------------------------------------------------------------------------
-- Person cards.

INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values ('12345',1,1,'工资');
INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values ('12345',2,-1,'房租');
INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values ('12345',3,-1,'招商银行');
INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values ('23456',3,-1,'工商银行');

SET @cat = (SELECT ID FROM userpersioniotype WHERE IOType = '招商银行');
SET @sql = CONCAT('Update userpersioniotype set IoType=''招行'' where UserID=''12345'' and ID=', @cat);
PREPARE s FROM @sql; EXECUTE s; DEALLOCATE PREPARE s;
SELECT 'FAIL: renaming a category'
FROM (SELECT COUNT(*) AS n FROM (select Id,UserID,IOKind,IODirect,IOType from UserPersionIOType where UserID='12345') x WHERE x.IOType = '招行') v
WHERE v.n <> 1;

INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','工资','2024-02-28','1000.00','上月',1,1);
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','工资','2024-03-01','5000.50','',1,1);
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','','2024-03-02','800','',-1,2);
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','招行','2024-03-03','300','',0,3);
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','招行','2024-03-04','300','',1,4);
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('23456','工资','2024-02-01','9999','',1,1);

SELECT 'FAIL: month list of kind 3'
FROM (SELECT COUNT(*) AS n FROM (select ID,UserID,IOType,bdate,IOAmt,Remark,IODirect,IOKind from userpersincard where (iokind=3) and (bdate between '2024-03-01' and '2024-03-31') and (UserID='12345')) x) v
WHERE v.n <> 1;
-- the flow report's opening row counts only the user's entries before the range
SELECT CONCAT('FAIL: opening balance ', x.balance, ' instead of 1000.00')
FROM (select null as ID,null as UserID,null as IOType,null as bdate,null as IOAmt,ifnull(sum(IOAmt*IODirect),0) as balance,null as Remark,null as IODirect,null as IOKind,-1 as sortID,'期初余额' as iodirectCn from userpersincard where (1=1) and bdate<'2024-03-01' and (userID='12345')) x
WHERE x.balance <> 1000;
SELECT CONCAT('FAIL: flow report returned ', COUNT(*), ' rows instead of 5')
FROM (select * from ((select ID,UserID,IOType,bdate,IOAmt,0 as balance,Remark,IODirect,IOKind,1 as sortID,CASE WHEN IOKind=1 then '收入' WHEN IOKind=2 then '支出' WHEN IOKind=3 then '信用卡消费' WHEN IOKind=4 then '信用卡还款' END as iodirectCn from userpersincard  where (1=1)  and (bdate between '2024-03-01' and '2024-03-31') and (userID='12345')) union all (select null as ID,null as UserID,null as IOType,null as bdate,null as IOAmt,ifnull(sum(IOAmt*IODirect),0) as balance,null as Remark,null as IODirect,null as IOKind,-1 as sortID,'期初余额' as iodirectCn from userpersincard where (1=1) and bdate<'2024-03-01' and (userID='12345'))) as rlt  order BY sortID,bdate,ID) r
HAVING COUNT(*) <> 5;

SET @entry = (SELECT ID FROM userpersincard WHERE IOKind = 2);
SET @sql = CONCAT('Update userpersincard set IoType=''水电'',Bdate=''2024-03-05'',IoAmt=812.5,Remark=''改'' where UserID=''12345'' and ID=', @entry);
PREPARE s FROM @sql; EXECUTE s; DEALLOCATE PREPARE s;
SELECT 'FAIL: changing an entry kept its direction and kind'
FROM userpersincard WHERE ID = @entry AND NOT (IOAmt = 812.50 AND IODirect = -1 AND IOKind = 2 AND IOType = '水电');

CALL chk_expect_error('entry of kind 5',
  'INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values (''12345'','''',''2024-03-01'',''1'','''',1,5)',
  'ck_persincard_kind');
CALL chk_expect_error('entry id supplied',
  'INSERT INTO userpersincard (ID,UserID,Bdate,IoKind) values (9900000005,12345,''2024-03-01'',1)',
  'assigned by the database');
CALL chk_expect_error('entry id changed',
  'UPDATE userpersincard SET ID = ID + 100', 'cannot be changed');
CALL chk_expect_error('category id supplied',
  'INSERT INTO userpersioniotype (ID,UserID,IoKind,IoDirect,IoType) values (5,12345,1,1,''x'')',
  'assigned by the database');

delete from userpersincard where ID='1';
SELECT 'FAIL: deleting an entry by quoted id' FROM userpersincard WHERE ID = 1;

-- ---------------------------------------------------------------------------------------------
-- Every stored id lies below the calendar's generated occurrence ids.

SELECT CONCAT('FAIL: ', t, ' id ', ID, ' outside its range')
FROM (SELECT 'usercalendar' AS t, ID, 9899999999 AS hi FROM usercalendar
      UNION ALL SELECT 'userpersincard', ID, 9899999999 FROM userpersincard
      UNION ALL SELECT 'userpersioniotype', ID, 2147483647 FROM userpersioniotype) x
WHERE ID < 1 OR ID > hi;

-- Near the end of the range the last id is still handed out, the one after it never is, and the
-- refused insert leaves no row behind.
ALTER TABLE usercalendar AUTO_INCREMENT = 9899999999;
INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES ('12345','最后','2024-03-07','','0,0','False','0',null,'1','');
SELECT 'FAIL: the last calendar id was not handed out'
FROM (SELECT MAX(ID) AS m FROM usercalendar) v WHERE v.m <> 9899999999;
CALL chk_expect_error('calendar id past the range',
  'INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,RepeatMode,RepeatValue) VALUES (''12345'',''越界'',''2024-03-07'','''',''0,0'',''False'',''0'',null,''1'','''')',
  'range exhausted');
SELECT 'FAIL: a refused calendar insert left a row' FROM usercalendar WHERE Title = '越界';

ALTER TABLE userpersincard AUTO_INCREMENT = 9899999999;
INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values ('12345','','2024-03-09','1','',1,1);
CALL chk_expect_error('entry id past the range',
  'INSERT INTO userpersincard (UserID,IoType,Bdate,IoAmt,Remark,IoDirect,IoKind) values (''12345'','''',''2024-03-09'',''2'','''',1,1)',
  'range exhausted');

ALTER TABLE userpersioniotype AUTO_INCREMENT = 2147483647;
INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values ('12345',1,1,'最后');
CALL chk_expect_error('category id past 32 bits',
  'INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values (''12345'',1,1,''越界'')',
  'range exhausted');
SELECT 'FAIL: a refused category insert left a row' FROM userpersioniotype WHERE IOType = '越界';

-- ---------------------------------------------------------------------------------------------
-- Id blocks for new row and bill ids: 1000 fifteen-digit ids per NEXTVAL, above the fixed ids.

SET @b1 = NEXTVAL(sys_idseq);
SET @b2 = NEXTVAL(sys_idseq);
SELECT CONCAT('FAIL: id blocks ', @b1, ', ', @b2)
FROM DUAL WHERE NOT (@b2 = @b1 + 1000 AND @b1 >= 100000000001000 AND LENGTH(@b1) = 15);
SELECT 'FAIL: id sequence bounds'
FROM sys_idseq
WHERE NOT (minimum_value > 100000000000001 AND maximum_value + 999 = 999999999999999
           AND increment = 1000 AND cycle_option = 0);

-- ---------------------------------------------------------------------------------------------

SELECT CONCAT('FAIL: ', msg) FROM chk_fail ORDER BY seq;
DROP PROCEDURE chk_expect_error;
