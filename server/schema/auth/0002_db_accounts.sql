-- Passwords of the database accounts the service creates for itself (one that runs clients'
-- system-database SQL, one per account set). Random, made by the service on first use; kept
-- here so that every service process connects with the same ones.

CREATE TABLE IF NOT EXISTS auth_dbaccount (
  Account  VARCHAR(80) NOT NULL,
  Password VARCHAR(80) NOT NULL,
  PRIMARY KEY (Account)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
