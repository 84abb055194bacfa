-- Passwords of the administrative accounts of the database servers that hold account sets
-- (sys_dbserver of the system database names them), kept where no client SQL reaches.
CREATE TABLE auth_dbserver (
  Name     VARCHAR(40)  CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  Password VARCHAR(200) NOT NULL,
  PRIMARY KEY (Name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
