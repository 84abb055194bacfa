-- Login IDs go on past 99999 with six digits and more (the auth database's sequence hands them
-- out). An account-set id is the owner's login ID followed by "_NN": ownership is decided by the
-- ID up to the "_", so 10000 does not own the sets of 100000.
ALTER TABLE sys_mainuserbaseinfo DROP CONSTRAINT ck_mainuser_loginid;
ALTER TABLE sys_mainuserbaseinfo
  ADD CONSTRAINT ck_mainuser_loginid CHECK (UserID BETWEEN 10000 AND 999999999);
