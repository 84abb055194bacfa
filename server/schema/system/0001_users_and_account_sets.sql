-- Registered users, account sets and the operators admitted to them.
--
-- Login IDs are five-digit numbers (10000..99999). All of them have the same width because an
-- account-set id is the owner's login ID followed by "_NN", and the client decides ownership by
-- comparing the first len(login ID) characters of the set id with the login ID: with IDs of
-- different widths, 1000 would "own" the sets of 10001. The CHECK keeps every ID at one width.
-- Passwords are not here: this database is readable by client SQL; see the auth database.

CREATE TABLE sys_mainuserbaseinfo (
  UserID      BIGINT       NOT NULL,
  NickName    VARCHAR(120) NOT NULL DEFAULT '',
  HeadImgName VARCHAR(255) NOT NULL DEFAULT '',
  PRIMARY KEY (UserID),
  CONSTRAINT ck_mainuser_loginid CHECK (UserID BETWEEN 10000 AND 99999)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- One row per account set. UserDBID is also the name of the set's own database, so it is unique
-- across all owners. Its form (owner + "_0N" or "_NN") is checked by the service when it creates
-- the set; the column is wide enough for any login ID plus the suffix.
CREATE TABLE userdatabase (
  UserID     BIGINT       NOT NULL,
  UserDBID   VARCHAR(240) NOT NULL,
  UserDBName VARCHAR(765) NOT NULL DEFAULT '',
  IsDefault  VARCHAR(24)  NOT NULL DEFAULT 'False',
  PRIMARY KEY (UserDBID),
  KEY ix_userdatabase_user (UserID),
  CONSTRAINT fk_userdatabase_owner FOREIGN KEY (UserID)
    REFERENCES sys_mainuserbaseinfo (UserID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Admission of a user as operator of someone else's set. The primary key makes a second admission
-- of the same user fail with "Duplicate entry", which the client shows as it comes.
CREATE TABLE userdatabaseoperator (
  UserDBID VARCHAR(240) NOT NULL,
  UserID   BIGINT       NOT NULL,
  PRIMARY KEY (UserDBID, UserID),
  KEY ix_userdatabaseoperator_user (UserID),
  CONSTRAINT fk_operator_set FOREIGN KEY (UserDBID)
    REFERENCES userdatabase (UserDBID) ON DELETE CASCADE ON UPDATE CASCADE,
  CONSTRAINT fk_operator_user FOREIGN KEY (UserID)
    REFERENCES sys_mainuserbaseinfo (UserID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
