-- Credentials, sessions and login throttling. This database is never reachable by the SQL that
-- clients send: that SQL runs under a database account without any grant here. All times are
-- UTC and written by the service.

-- Login ID -> Argon2id hash (the text crypto_pwhash_str produces, at most 127 characters). The
-- CHECK keeps anything that is not such a hash, a plain password above all, out of the column.
CREATE TABLE auth_user (
  LoginID     BIGINT       NOT NULL,
  PwHash      VARCHAR(128) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  Disabled    TINYINT(1)   NOT NULL DEFAULT 0,
  CreatedAt   DATETIME     NOT NULL DEFAULT (UTC_TIMESTAMP()),
  PwChangedAt DATETIME     NOT NULL DEFAULT (UTC_TIMESTAMP()),
  PRIMARY KEY (LoginID),
  -- same five-digit width as the system database's users (ownership is a prefix test there)
  CONSTRAINT ck_auth_user_loginid CHECK (LoginID BETWEEN 10000 AND 99999),
  CONSTRAINT ck_auth_user_hash CHECK (PwHash LIKE '$argon2id$%')
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Only a 32-byte digest of the session token is stored, so a copy of this table opens no session.
CREATE TABLE auth_session (
  TokenHash  BINARY(32)  NOT NULL,
  LoginID    BIGINT      NOT NULL,
  CreatedAt  DATETIME    NOT NULL DEFAULT (UTC_TIMESTAMP()),
  ExpiresAt  DATETIME    NOT NULL,
  LastSeenAt DATETIME    NOT NULL DEFAULT (UTC_TIMESTAMP()),
  -- textual IPv4 or IPv6 address (at most 45 characters)
  ClientAddr VARCHAR(45) CHARACTER SET ascii COLLATE ascii_bin NOT NULL DEFAULT '',
  PRIMARY KEY (TokenHash),
  KEY ix_auth_session_login (LoginID),
  KEY ix_auth_session_expires (ExpiresAt),
  CONSTRAINT ck_auth_session_span CHECK (ExpiresAt > CreatedAt),
  CONSTRAINT fk_auth_session_user FOREIGN KEY (LoginID)
    REFERENCES auth_user (LoginID) ON DELETE CASCADE
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Failed logins counted per login ID as typed (it need not exist) and per client address, each
-- in a window that starts with the first failure after the previous window ran out. A key is
-- refused while its window is open and its count has reached the limit.
CREATE TABLE auth_throttle (
  Scope         ENUM('login', 'addr') NOT NULL,
  ScopeKey      VARCHAR(64)  CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  WindowStart   DATETIME     NOT NULL,
  Failures      INT UNSIGNED NOT NULL DEFAULT 0,
  LastFailureAt DATETIME     NOT NULL,
  PRIMARY KEY (Scope, ScopeKey),
  KEY ix_auth_throttle_last (LastFailureAt)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- New login IDs. The range is the five-digit one of the CHECKs above; NOCYCLE makes running out
-- an error rather than a reused ID.
CREATE SEQUENCE auth_loginid_seq
  START WITH 10001
  MINVALUE 10001
  MAXVALUE 99999
  INCREMENT BY 1
  NOCACHE
  NOCYCLE;
