-- Login IDs go on past 99999 with six digits and more. Account-set ids are the owner's login ID
-- followed by "_", so ownership is decided up to that "_" and widths may differ.
ALTER TABLE auth_user DROP CONSTRAINT ck_auth_user_loginid;
ALTER TABLE auth_user
  ADD CONSTRAINT ck_auth_user_loginid CHECK (LoginID BETWEEN 10000 AND 999999999);

-- Nine digits at most: the account sets keep login IDs in 32-bit integers (ts_userpower.UserID).
-- NOCACHE said again: a cluster node refuses a sequence that caches values.
ALTER SEQUENCE auth_loginid_seq MAXVALUE 999999999 NOCACHE;
