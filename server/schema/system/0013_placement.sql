-- Which database server holds each account set. 'home' is the server holding this database
-- (its address is the one the service was started with); other servers are added by the
-- administrator (vlt-dataservice --add-db-server), their passwords kept in the auth database.

CREATE TABLE sys_dbserver (
  Name      VARCHAR(40)  CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  -- a unix socket path, or a host and port; both empty for 'home'
  Socket    VARCHAR(255) NOT NULL DEFAULT '',
  Host      VARCHAR(255) NOT NULL DEFAULT '',
  Port      INT          NOT NULL DEFAULT 3306,
  AdminUser VARCHAR(80)  NOT NULL DEFAULT 'root',
  -- new account sets may be placed there
  Accepting TINYINT(1)   NOT NULL DEFAULT 1,
  PRIMARY KEY (Name),
  CONSTRAINT ck_dbserver_name CHECK (Name REGEXP '^[a-z0-9_]+$')
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO sys_dbserver (Name) VALUES ('home');

-- One row per account set (a set without one is on 'home'). Moving is set while the set is
-- copied to another server: calls on it are refused until the copy is switched in.
CREATE TABLE sys_setplacement (
  UserDBID VARCHAR(240) NOT NULL,
  Server   VARCHAR(40)  CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  Moving   TINYINT(1)   NOT NULL DEFAULT 0,
  PRIMARY KEY (UserDBID),
  KEY ix_setplacement_server (Server),
  CONSTRAINT fk_setplacement_server FOREIGN KEY (Server) REFERENCES sys_dbserver (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

INSERT INTO sys_setplacement (UserDBID, Server) SELECT UserDBID, 'home' FROM userdatabase;
