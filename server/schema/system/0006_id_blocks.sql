-- Blocks of row and bill ids for GetNewID, shared by every account set. One NEXTVAL reserves the
-- 1000 ids v .. v+999. NEXTVAL is atomic and never rolled back, so concurrent services get
-- disjoint blocks; ids left unused when a service stops are simply skipped. All ids have 15
-- digits (they sort the same as text and as numbers) and start above the fixed id
-- 100000000000001 of the main store; the negative fixed ids are out of reach. NOCACHE writes the
-- counter on every call, so a restart skips nothing; NOCYCLE turns exhaustion into an error.

CREATE SEQUENCE sys_idseq
  START WITH 100000000001000
  MINVALUE 100000000001000
  MAXVALUE 999999999999000
  INCREMENT BY 1000
  NOCACHE
  NOCYCLE;
