-- The web site's registration form, shared by every service instance behind one address: which
-- forms were posted (each is used once, on whichever instance it reaches) and how many accounts
-- each client address made in the last hour. Times are seconds since 1970 (UTC) as the service's
-- clock gives them. None of this is in the system database, whose views clients read.

-- One row per posted form, made by the post itself: the primary key lets exactly one of several
-- posts of the same form (a double click reaching two instances) go on; the others read what
-- became of it.
CREATE TABLE auth_form_use (
  Nonce    CHAR(32)     CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  UsedAt   BIGINT       NOT NULL,
  State    ENUM('pending', 'registered', 'refused') NOT NULL DEFAULT 'pending',
  LoginID  BIGINT       NULL,
  NickName VARCHAR(120) NOT NULL DEFAULT '',
  PRIMARY KEY (Nonce),
  KEY ix_auth_form_use_used (UsedAt)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Accounts made through the form, by client address (textual IPv4 or IPv6, with a zone), one row per form.
CREATE TABLE auth_registration (
  Nonce        CHAR(32)    CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  ClientAddr   VARCHAR(64) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  RegisteredAt BIGINT      NOT NULL,
  PRIMARY KEY (Nonce),
  KEY ix_auth_registration_addr (ClientAddr, RegisteredAt),
  KEY ix_auth_registration_at (RegisteredAt)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- One row per client address with recent registrations. A registration locks its address's row
-- before counting, so that two instances cannot both take the last slot of the hour.
CREATE TABLE auth_registration_addr (
  ClientAddr VARCHAR(64) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  LastAt     BIGINT      NOT NULL,
  PRIMARY KEY (ClientAddr),
  KEY ix_auth_registration_addr_last (LastAt)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- The key signing the forms' tokens when no secret is configured: made by the first instance
-- that starts, so that every instance accepts the forms of the others.
CREATE TABLE auth_site_key (
  Name   VARCHAR(40) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  KeyHex CHAR(64)    CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  PRIMARY KEY (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
