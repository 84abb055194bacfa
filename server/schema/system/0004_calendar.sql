-- Calendar of the signed-in user: dated tasks and repeat templates.
--
-- Stored task ids never meet the ids the client gives the occurrences it generates from
-- templates (9900000001 upwards, unique only within one load): the client finds an entry by id
-- among both, so a stored task with such an id would be confused with an occurrence. Stored ids
-- therefore stay in 1..9899999999: the database alone assigns them (an explicit ID is refused),
-- an insert that would get a larger one fails, and ids are never changed. MariaDB allows no CHECK
-- on an AUTO_INCREMENT column, hence the triggers.

CREATE TABLE usercalendar (
  ID          BIGINT        NOT NULL AUTO_INCREMENT,
  UserID      BIGINT        NOT NULL,
  Title       VARCHAR(255)  NOT NULL DEFAULT '',
  `Date`      DATE          NOT NULL,
  Remark      VARCHAR(2000) NOT NULL DEFAULT '',
  -- "important,urgent", each "-1" (set) or "0"
  `Level`     VARCHAR(16)   NOT NULL DEFAULT '0,0',
  Finished    VARCHAR(8)    NOT NULL DEFAULT 'False',
  IsAlarm     VARCHAR(4)    NOT NULL DEFAULT '0',
  AlarmTime   TIME          NULL DEFAULT NULL,
  RepeatMode  VARCHAR(4)    NOT NULL DEFAULT '1',
  RepeatValue VARCHAR(32)   NOT NULL DEFAULT '',
  -- template a finished occurrence was stored from; null for ordinary tasks
  LoopID      VARCHAR(40)   NULL DEFAULT NULL,
  PRIMARY KEY (ID),
  KEY ix_usercalendar_user_date (UserID, `Date`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Templates carry a client-made id: login ID + the packed date-time of the creation moment (2 s
-- resolution). A second template saved by the same user within those 2 seconds gets the same id
-- and is refused as a duplicate instead of becoming a twin that edits and deletes would hit
-- together. Ids of different users cannot collide: the packed value always has 10 digits.
CREATE TABLE usercalendar_ex (
  ID          VARCHAR(40)   NOT NULL,
  UserID      BIGINT        NOT NULL,
  Title       VARCHAR(255)  NOT NULL DEFAULT '',
  `Date`      DATE          NOT NULL,
  Remark      VARCHAR(2000) NOT NULL DEFAULT '',
  `Level`     VARCHAR(16)   NOT NULL DEFAULT '0,0',
  IsAlarm     VARCHAR(4)    NOT NULL DEFAULT '0',
  AlarmTime   TIME          NULL DEFAULT NULL,
  -- "2" every day, "3" every week on the days in RepeatValue ("1".."7", comma-joined)
  RepeatMode  VARCHAR(4)    NOT NULL DEFAULT '2',
  RepeatValue VARCHAR(32)   NOT NULL DEFAULT '',
  PRIMARY KEY (ID),
  KEY ix_usercalendar_ex_user (UserID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

DELIMITER $$
CREATE TRIGGER usercalendar_id_bi BEFORE INSERT ON usercalendar FOR EACH ROW
BEGIN
  IF NEW.ID <> 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'usercalendar.ID is assigned by the database';
  END IF;
END$$
CREATE TRIGGER usercalendar_id_ai AFTER INSERT ON usercalendar FOR EACH ROW
BEGIN
  IF NEW.ID > 9899999999 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'usercalendar.ID range exhausted';
  END IF;
END$$
CREATE TRIGGER usercalendar_id_bu BEFORE UPDATE ON usercalendar FOR EACH ROW
BEGIN
  IF NEW.ID <> OLD.ID THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'usercalendar.ID cannot be changed';
  END IF;
END$$
DELIMITER ;
