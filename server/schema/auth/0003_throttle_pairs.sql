-- Sign-in throttling by client address and login ID together ('pair'), and the pairs that have
-- signed in before ('known'), which failures of others do not stop.
ALTER TABLE auth_throttle MODIFY Scope ENUM('login', 'addr', 'pair', 'known') NOT NULL;
