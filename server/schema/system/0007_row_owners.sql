-- Rows belong to users. Client SQL for the system database runs under a database account of
-- the signed-in user, named "<prefix>_u_<login ID>", against views that show that user's rows
-- only (the service creates them in <prefix>_sysview). These pieces are what the views and the
-- guards need here: the login ID of the session's account, and guards for the writes a view
-- cannot refuse by itself.

-- The login ID of the session's database account, or NULL for the service's own accounts.
-- USER() is the account the session signed in with, whatever the definer of a view or trigger.
DELIMITER $$
CREATE FUNCTION vlt_login() RETURNS BIGINT
  NOT DETERMINISTIC READS SQL DATA
BEGIN
  DECLARE account VARCHAR(200) DEFAULT SUBSTRING_INDEX(USER(), '@', 1);
  IF account REGEXP '_u_[0-9]+$' THEN
    RETURN CAST(SUBSTRING_INDEX(account, '_u_', -1) AS UNSIGNED);
  END IF;
  RETURN NULL;
END$$
DELIMITER ;

-- Operators are admitted and removed by the owner of the set only (an operator may also leave).
-- The view of a user's admissions shows the rows where the user is the operator, so without
-- this guard a user could admit himself to anybody's set.
DELIMITER $$
CREATE TRIGGER userdatabaseoperator_owner_bi BEFORE INSERT ON userdatabaseoperator FOR EACH ROW
BEGIN
  IF vlt_login() IS NOT NULL AND NOT EXISTS (
      SELECT 1 FROM userdatabase WHERE UserDBID = NEW.UserDBID AND UserID = vlt_login()) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套的所有者才能添加操作员';
  END IF;
END$$
DELIMITER ;

DELIMITER $$
CREATE TRIGGER userdatabaseoperator_owner_bd BEFORE DELETE ON userdatabaseoperator FOR EACH ROW
BEGIN
  IF vlt_login() IS NOT NULL AND OLD.UserID <> vlt_login() AND NOT EXISTS (
      SELECT 1 FROM userdatabase WHERE UserDBID = OLD.UserDBID AND UserID = vlt_login()) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套的所有者才能删除操作员';
  END IF;
END$$
DELIMITER ;

DELIMITER $$
CREATE TRIGGER userdatabaseoperator_owner_bu BEFORE UPDATE ON userdatabaseoperator FOR EACH ROW
BEGIN
  IF vlt_login() IS NOT NULL THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '操作员记录不能修改，请删除后重新添加';
  END IF;
END$$
DELIMITER ;

-- Operators see the sets they work in; only the owner renames one.
DELIMITER $$
CREATE TRIGGER userdatabase_owner_bu BEFORE UPDATE ON userdatabase FOR EACH ROW
BEGIN
  IF vlt_login() IS NOT NULL AND OLD.UserID <> vlt_login() THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = '只有帐套的所有者才能修改帐套';
  END IF;
END$$
DELIMITER ;
