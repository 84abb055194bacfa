#!/usr/bin/env bash
# Applies the system and auth migrations to fresh databases of a private, throw-away MariaDB
# server and runs their checks. Exit status 0 when every check passes, 1 otherwise.
#   bash tests/schema/run_system.sh
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mariadbd=${MARIADBD:-$(command -v mariadbd || echo /usr/sbin/mariadbd)}

dir=$(mktemp -d /tmp/vlt-schema-system.XXXXXX)
cleanup() {
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  fi
  rm -rf "$dir"
}
trap cleanup EXIT

mariadb-install-db --no-defaults --datadir="$dir/data" --auth-root-authentication-method=normal \
  --user="$(id -un)" >"$dir/install.log" 2>&1 || { cat "$dir/install.log"; exit 1; }
"$mariadbd" --no-defaults --datadir="$dir/data" --socket="$dir/sock" --skip-networking \
  --user="$(id -un)" --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
  --lower-case-table-names=1 \
  --sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,NO_BACKSLASH_ESCAPES \
  --innodb-snapshot-isolation=ON --log-bin-trust-function-creators=1 \
  --pid-file="$dir/pid" --log-error="$dir/err.log" >"$dir/server.out" 2>&1 &
for _ in $(seq 1 100); do
  mariadb-admin --no-defaults --socket="$dir/sock" -uroot ping >/dev/null 2>&1 && break
  sleep 0.2
done

db() { mariadb --no-defaults --socket="$dir/sock" -uroot -N -B "$@"; }
db -e 'SELECT 1' >/dev/null || { echo "FAIL: server did not start"; cat "$dir/err.log"; exit 1; }

sys=vlt_sys
auth=vlt_auth
db -e "CREATE DATABASE $sys; CREATE DATABASE $auth"

apply() {  # database, folder
  for f in "$2"/[0-9][0-9][0-9][0-9]_*.sql; do
    db --database="$1" <"$f" || { echo "FAIL: migration $f"; exit 1; }
  done
}
apply "$sys" "$root/server/schema/system"
apply "$auth" "$root/server/schema/auth"

failed=0
report() {  # output of a check; any text is a failure
  if [ -n "$1" ]; then echo "$1"; failed=1; fi
}

# --- system database -----------------------------------------------------------------------
out=$(db --database="$sys" <"$here/check_system.sql" 2>&1) || failed=1
report "$out"

# Module selection of the powers window: the catalogue joined with an account set's grants,
# the set named unquoted as its database. The set's table is a stand-in with the columns the
# client relies on.
db -e "CREATE DATABASE 12345_01;
  CREATE TABLE 12345_01.ts_userpower (UserID INT NOT NULL, ModuleID VARCHAR(45) NOT NULL,
    ModuleCnName VARCHAR(765), groupID VARCHAR(3), PRIMARY KEY (UserID, ModuleID))
    DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;
  INSERT INTO 12345_01.ts_userpower
    SELECT 12346, ID, ModuleCnName, groupID FROM $sys.UserdatabasePowerModule WHERE groupID = '1';
  INSERT INTO 12345_01.ts_userpower VALUES (12346, 'YW_10002', '采购收货单', '2');"
out=$(db --database="$sys" 2>&1 <<'EOF'
SELECT CONCAT('FAIL: module selection lists ', COUNT(*), ' modules instead of 29')
FROM (select ID,ModuleCnName,groupID from UserdatabasePowerModule where not id in (select ModuleID from 12345_01.ts_userpower where UserID=12346) order by groupid,id) x
HAVING COUNT(*) <> 29;
SELECT 'FAIL: module selection lists a module already held'
FROM (select ID,ModuleCnName,groupID from UserdatabasePowerModule where not id in (select ModuleID from 12345_01.ts_userpower where UserID=12346) order by groupid,id) x
WHERE x.groupID = '1' OR x.ID = 'YW_10002' LIMIT 1;
SELECT CONCAT('FAIL: module selection of a new operator lists ', COUNT(*), ' modules')
FROM (select ID,ModuleCnName,groupID from UserdatabasePowerModule where not id in (select ModuleID from 12345_01.ts_userpower where UserID=23456) order by groupid,id) x
HAVING COUNT(*) <> 41;
EOF
) || failed=1
report "$out"

# --- auth database ---------------------------------------------------------------------------
expect_error() {  # label, wanted text in the error, statement
  local got
  if got=$(db --database="$auth" -e "$3" 2>&1); then
    report "FAIL: $1: accepted, expected \"$2\""
  elif ! grep -qF -- "$2" <<<"$got"; then
    report "FAIL: $1: $got"
  fi
}

hash='$argon2id$v=19$m=65536,t=2,p=1$c29tZXNhbHRzb21lc2FsdA$2l3mUTGO5dEUb0QqhEiPZOMJcSHm9S0TZ1l6kGHpOwE'
out=$(db --database="$auth" 2>&1 <<EOF
SET @first = NEXTVAL(auth_loginid_seq);
SELECT CONCAT('FAIL: first login ID ', @first) FROM DUAL WHERE @first <> 10001;
SELECT 'FAIL: login ID sequence bounds' FROM auth_loginid_seq
WHERE NOT (minimum_value = 10001 AND maximum_value = 999999999 AND cycle_option = 0);
INSERT INTO auth_user (LoginID, PwHash) VALUES (10001, '$hash'), (10002, '$hash');
SELECT 'FAIL: new user is disabled or has no times' FROM auth_user
WHERE LoginID = 10001 AND NOT (Disabled = 0 AND CreatedAt IS NOT NULL AND PwChangedAt IS NOT NULL);
INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt, ClientAddr)
VALUES (UNHEX(SHA2('token-a', 256)), 10001, UTC_TIMESTAMP() + INTERVAL 1 DAY, '192.0.2.7'),
       (UNHEX(SHA2('token-b', 256)), 10001, UTC_TIMESTAMP() + INTERVAL 1 SECOND, '2001:db8::1');
UPDATE auth_session SET CreatedAt = UTC_TIMESTAMP() - INTERVAL 2 DAY,
  ExpiresAt = UTC_TIMESTAMP() - INTERVAL 1 DAY WHERE TokenHash = UNHEX(SHA2('token-b', 256));
SELECT 'FAIL: a live session is not found by its token hash'
FROM DUAL WHERE NOT EXISTS (SELECT 1 FROM auth_session
  WHERE TokenHash = UNHEX(SHA2('token-a', 256)) AND ExpiresAt > UTC_TIMESTAMP() AND LoginID = 10001);
SELECT 'FAIL: an expired session is still valid' FROM auth_session
WHERE TokenHash = UNHEX(SHA2('token-b', 256)) AND ExpiresAt > UTC_TIMESTAMP();
DELETE FROM auth_user WHERE LoginID = 10002;
INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt)
VALUES (UNHEX(SHA2('token-c', 256)), 10001, UTC_TIMESTAMP() + INTERVAL 1 DAY);
DELETE FROM auth_user WHERE LoginID = 10001;
SELECT 'FAIL: sessions of a removed user survive' FROM auth_session LIMIT 1;

-- Throttling: the statement the service runs for each key after a failed login (window 15
-- minutes) and the test it makes before checking a password (limit 5). Five failures in the
-- window refuse the key; a failure after the window starts a new one.
SET @t0 = TIMESTAMP '2024-03-04 10:00:00';
DELIMITER \$\$
CREATE PROCEDURE fail_login(IN k VARCHAR(64), IN nowt DATETIME)
BEGIN
  INSERT INTO auth_throttle (Scope, ScopeKey, WindowStart, Failures, LastFailureAt)
  VALUES ('login', k, nowt, 1, nowt)
  ON DUPLICATE KEY UPDATE
    Failures      = IF(WindowStart > nowt - INTERVAL 15 MINUTE, Failures + 1, 1),
    WindowStart   = IF(WindowStart > nowt - INTERVAL 15 MINUTE, WindowStart, nowt),
    LastFailureAt = nowt;
END\$\$
CREATE FUNCTION refused(k VARCHAR(64), nowt DATETIME) RETURNS INT
  RETURN EXISTS (SELECT 1 FROM auth_throttle WHERE Scope = 'login' AND ScopeKey = k
                 AND WindowStart > nowt - INTERVAL 15 MINUTE AND Failures >= 5)\$\$
DELIMITER ;
CALL fail_login('10001', @t0);
CALL fail_login('10001', @t0 + INTERVAL 1 MINUTE);
CALL fail_login('10001', @t0 + INTERVAL 2 MINUTE);
CALL fail_login('10001', @t0 + INTERVAL 3 MINUTE);
SELECT 'FAIL: refused after four failures' FROM DUAL WHERE refused('10001', @t0 + INTERVAL 4 MINUTE);
CALL fail_login('10001', @t0 + INTERVAL 4 MINUTE);
SELECT CONCAT('FAIL: after five failures the count is ', Failures)
FROM auth_throttle WHERE ScopeKey = '10001' AND NOT (Failures = 5 AND WindowStart = @t0);
SELECT 'FAIL: not refused after five failures' FROM DUAL WHERE NOT refused('10001', @t0 + INTERVAL 5 MINUTE);
SELECT 'FAIL: another login ID refused' FROM DUAL WHERE refused('10002', @t0 + INTERVAL 5 MINUTE);
SELECT 'FAIL: still refused after the window' FROM DUAL WHERE refused('10001', @t0 + INTERVAL 16 MINUTE);
CALL fail_login('10001', @t0 + INTERVAL 20 MINUTE);
SELECT CONCAT('FAIL: a failure after the window counts ', Failures)
FROM auth_throttle WHERE ScopeKey = '10001'
  AND NOT (Failures = 1 AND WindowStart = @t0 + INTERVAL 20 MINUTE);
DROP FUNCTION refused;
DROP PROCEDURE fail_login;
EOF
) || failed=1
report "$out"

db --database="$auth" -e "INSERT INTO auth_dbaccount VALUES ('vlt_sys', 'a1')" || failed=1
expect_error 'database account twice' 'Duplicate entry' \
  "INSERT INTO auth_dbaccount VALUES ('vlt_sys', 'b2')"
expect_error 'plain password stored' 'ck_auth_user_hash' \
  "INSERT INTO auth_user (LoginID, PwHash) VALUES (10003, 'secret')"
expect_error 'ten-digit login ID' 'ck_auth_user_loginid' \
  "INSERT INTO auth_user (LoginID, PwHash) VALUES (1000000000, '$hash')"
db --database="$auth" -e "INSERT INTO auth_user (LoginID, PwHash) VALUES (10004, '$hash');
  INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt)
  VALUES (UNHEX(SHA2('token-d', 256)), 10004, UTC_TIMESTAMP() + INTERVAL 1 HOUR)" || failed=1
expect_error 'login ID registered twice' 'Duplicate entry' \
  "INSERT INTO auth_user (LoginID, PwHash) VALUES (10004, '$hash')"
expect_error 'session token twice' 'Duplicate entry' \
  "INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt) VALUES (UNHEX(SHA2('token-d', 256)), 10004, UTC_TIMESTAMP() + INTERVAL 1 HOUR)"
expect_error 'session of an unknown user' 'foreign key constraint fails' \
  "INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt) VALUES (UNHEX(SHA2('token-e', 256)), 10009, UTC_TIMESTAMP() + INTERVAL 1 HOUR)"
expect_error 'session that ends before it starts' 'ck_auth_session_span' \
  "INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt) VALUES (UNHEX(SHA2('token-f', 256)), 10004, UTC_TIMESTAMP() - INTERVAL 1 HOUR)"
expect_error 'login ID sequence past its end' 'run out' \
  "SELECT SETVAL(auth_loginid_seq, 999999999); SELECT NEXTVAL(auth_loginid_seq)"

if [ "$failed" -ne 0 ]; then
  echo "schema checks failed"
  exit 1
fi
echo "schema checks passed"
