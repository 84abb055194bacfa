#!/usr/bin/env bash
# Account-set schema test: starts a private MariaDB, applies every account-set migration in name
# order into two fresh databases (two tenants), runs the scenario and the invariant checks,
# checks that duplicate names are refused with "Duplicate entry" and that parallel saves lose no
# change, then stops the server. Prints PASS or FAIL; exits 1 on FAIL.
#
# Usage: tests/schema/run_account.sh [work-folder]
# Without a work folder a temporary one is used and removed afterwards; a given one is kept (server
# data and logs, for a look after a failure).
set -u

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
schema="$repo/server/schema/account"
if [ $# -ge 1 ]; then
  work=$1
  keep_work=1
else
  work=$(mktemp -d /tmp/vlt-schema-account.XXXXXX)
  keep_work=0
fi
mkdir -p "$work"
sock="$work/sock"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

db() {  # db <database> [mariadb args...]: the client on the private server, utf8mb4
  local name=$1
  shift
  mariadb --no-defaults --default-character-set=utf8mb4 --socket="$sock" -uroot \
    --database="$name" "$@"
}

stop_server() {
  if [ -f "$work/pid" ]; then
    kill "$(cat "$work/pid")" 2>/dev/null
    for _ in $(seq 1 60); do
      [ -f "$work/pid" ] || break
      sleep 0.5
    done
  fi
  [ "$keep_work" = 1 ] || rm -rf "$work"
}
trap stop_server EXIT

# --- private server ---------------------------------------------------------------------------
if [ ! -d "$work/data" ]; then
  mariadb-install-db --no-defaults --datadir="$work/data" --auth-root-authentication-method=normal \
    --user=root >"$work/install.log" 2>&1 || { echo "FAIL: mariadb-install-db (see $work/install.log)"; exit 1; }
fi
mariadbd_bin=$(command -v mariadbd || echo /usr/sbin/mariadbd)  # /usr/sbin is not always on PATH
"$mariadbd_bin" --no-defaults --datadir="$work/data" --socket="$sock" --skip-networking --user=root \
  --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci --lower-case-table-names=1 \
  --sql-mode=STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION,NO_BACKSLASH_ESCAPES \
  --innodb-snapshot-isolation=ON --log-bin-trust-function-creators=1 \
  --pid-file="$work/pid" --log-error="$work/err.log" >/dev/null 2>&1 &
for _ in $(seq 1 60); do
  db mysql -e 'SELECT 1' >/dev/null 2>&1 && break
  sleep 0.5
done
db mysql -e 'SELECT 1' >/dev/null 2>&1 || { echo "FAIL: the server did not start (see $work/err.log)"; exit 1; }

# --- migrations into two tenants --------------------------------------------------------------
for tenant in acct_a acct_b; do
  db mysql -e "DROP DATABASE IF EXISTS $tenant; CREATE DATABASE $tenant"
  for f in "$schema"/[0-9][0-9][0-9][0-9]_*.sql; do
    if ! db "$tenant" <"$f" 2>"$work/migrate.err"; then
      fail "$(basename "$f") into $tenant: $(cat "$work/migrate.err")"
      echo "FAIL"
      exit 1
    fi
  done
done

run_sql() {  # run_sql <database> <file> <label>: FAIL rows and errors count as failures
  local out
  out=$(db "$1" --batch --skip-column-names <"$2" 2>&1)
  if [ $? -ne 0 ]; then
    fail "$3: $out"
  elif [ -n "$out" ]; then
    while IFS= read -r line; do
      case $line in
        FAIL:*) fail "$3: ${line#FAIL: }" ;;
        *) fail "$3 printed: $line" ;;
      esac
    done <<<"$out"
  fi
}

# An empty tenant already satisfies every invariant.
run_sql acct_b "$here/check_account.sql" "empty tenant"

# --- scenario ---------------------------------------------------------------------------------
run_sql acct_a "$here/scenario_account.sql" "scenario"
run_sql acct_a "$here/check_account.sql" "after scenario"

# The tenants are separate: the second one still has only its fixed rows.
n=$(db acct_b --batch --skip-column-names -e 'SELECT COUNT(*) FROM td_trader')
[ "$n" = "0" ] || fail "tenant acct_b sees $n traders"

# --- duplicate names, as the client sees the error --------------------------------------------
dup() {  # dup <database> <statement run twice>
  db "$1" -e "$2" 2>/dev/null || { fail "first insert refused: $2"; return; }
  local err
  err=$(db "$1" -e "$2" 2>&1)
  case $err in
    *"Duplicate entry"*) ;;
    *) fail "no Duplicate entry for: $2 ($err)" ;;
  esac
}
dup acct_b "Insert into td_unit (Id,Name) value (CONCAT('U', UUID_SHORT() % 100000),'件')"
dup acct_b "Insert into td_Account (Id,Name) value (CONCAT('A', UUID_SHORT() % 100000),'现金')"
dup acct_b "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value (CONCAT('T', UUID_SHORT() % 100000),'同名','','','','True')"
dup acct_b "Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value (CONCAT('G', UUID_SHORT() % 100000),'X01','面包','','-9999','','库存商品','先进先出法','',0,0,0,'False','','False')"
# a vendor may carry a client's name
db acct_b -e "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('TV1','同名','','','','False')" 2>/dev/null ||
  fail "a vendor named like a client was refused"

# --- parallel saves ---------------------------------------------------------------------------
# Four sessions at once each save 20 receipts from one client, 20 stock-out bills executing the
# same sale line and 20 purchases paid at once executing the two lines of one order, each bill in
# its own transaction as the service saves it. A statement may be refused (lock wait, deadlock,
# changed-since-read); nothing may be lost: the invariants must hold and the totals must match
# the bills that were saved.
db acct_b -e "
  Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('PC1','并发客户','','','','True');
  Insert into td_Account (Id,Name) value ('PA1','并发帐户');
  INSERT INTO tb_sal_sale (Bid, BDate, BCode, TraderID) VALUES ('PSA', '2024-04-01', 'SAP001', 'PC1');
  INSERT INTO tb_sal_sale_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('PSA', 1, 'G1', 1000, 1, 1000);
  Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('PV1','并发供货商','','','','False');
  INSERT INTO tb_pur_order (Bid, BDate, BCode, TraderID) VALUES ('PPO', '2024-04-01', 'POP001', 'PV1');
  INSERT INTO tb_pur_order_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('PPO', 1, 'G1', 1000, 1, 1000);
  INSERT INTO tb_pur_order_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('PPO', 2, 'G2', 1000, 1, 1000);" ||
  fail "parallel set-up"
workers=()
for w in 1 2 3 4; do
  {
    for i in $(seq 1 20); do
      echo "START TRANSACTION;"
      echo "INSERT INTO tb_bal_gathering (Bid, BDate, BCode, TraderID, AccountId, AccAmt, TrimAmt) VALUES ('PG$w-$i', '2024-04-02', 'PG$w-$i', 'PC1', 'PA1', 1, 0);"
      echo "COMMIT;"
      echo "START TRANSACTION;"
      echo "INSERT INTO tb_sto_out (Bid, BDate, BCode) VALUES ('PO$w-$i', '2024-04-02', 'PO$w-$i');"
      echo "INSERT INTO tb_sto_out_d (Bid, BNo, GoodsID, Qty, RelationBid, RelationBNo, RelationKind) VALUES ('PO$w-$i', 1, 'G1', 1, 'PSA', 1, 3400);"
      echo "COMMIT;"
      echo "START TRANSACTION;"
      echo "INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsPay, AccountId, AccAmt) VALUES ('PP$w-$i', '2024-04-02', 'PP$w-$i', 'PV1', 'True', 'PA1', 1);"
      echo "INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount, RelationBid, RelationBNo, RelationKind) VALUES ('PP$w-$i', 1, 'G1', 1, 3, 3, 'PPO', $((i % 2 + 1)), 3000);"
      echo "COMMIT;"
    done
  } >"$work/parallel$w.sql"
  db acct_b --force <"$work/parallel$w.sql" >"$work/parallel$w.out" 2>&1 &
  workers+=($!)
done
wait "${workers[@]}"  # not the server, which runs in the background too
refused=$(cat "$work"/parallel?.out | grep -c ERROR)
db acct_b --batch --skip-column-names -e "
  SELECT CONCAT('FAIL: client balance ', Balance, ' <> -receipts ', -(SELECT COUNT(*) FROM tb_bal_gathering WHERE TraderID = 'PC1'))
    FROM td_trader WHERE Id = 'PC1' AND Balance <> 1000 - (SELECT COUNT(*) FROM tb_bal_gathering WHERE TraderID = 'PC1');
  SELECT CONCAT('FAIL: sale line doneQty ', doneQty, ' <> stock-out lines ', (SELECT COUNT(*) FROM tb_sto_out_d WHERE RelationBid = 'PSA'))
    FROM tb_sal_sale_d WHERE Bid = 'PSA' AND doneQty <> (SELECT COUNT(*) FROM tb_sto_out_d WHERE RelationBid = 'PSA');
  SELECT CONCAT('FAIL: order received ', (SELECT SUM(doneQty) FROM tb_pur_order_d WHERE Bid = 'PPO'), ' <> purchase lines ', COUNT(*))
    FROM tb_pur_purchase_d WHERE RelationBid = 'PPO'
  HAVING COUNT(*) <> (SELECT SUM(doneQty) FROM tb_pur_order_d WHERE Bid = 'PPO');
  SELECT CONCAT('FAIL: vendor balance ', Balance, ' <> 2 x purchases')
    FROM td_trader WHERE Id = 'PV1' AND Balance <> 2 * (SELECT COUNT(*) FROM tb_pur_purchase WHERE TraderID = 'PV1');
  SELECT CONCAT('FAIL: account balance ', Balance)
    FROM td_account WHERE Id = 'PA1' AND Balance <> (SELECT COUNT(*) FROM tb_bal_gathering) - (SELECT COUNT(*) FROM tb_pur_purchase WHERE AccountId = 'PA1');" \
  >"$work/parallel.check" 2>&1
while IFS= read -r line; do
  [ -n "$line" ] && fail "parallel saves: ${line#FAIL: }"
done <"$work/parallel.check"
saved=$(db acct_b --batch --skip-column-names -e "SELECT (SELECT COUNT(*) FROM tb_bal_gathering) + (SELECT COUNT(*) FROM tb_sto_out) + (SELECT COUNT(*) FROM tb_pur_purchase)")
[ "$saved" -gt 0 ] || fail "no parallel save went through"
echo "parallel saves: $saved of 240 bills saved, $refused statements refused"
run_sql acct_b "$here/check_account.sql" "after parallel saves"

# --- result -----------------------------------------------------------------------------------
if [ "$failures" -eq 0 ]; then
  echo "PASS"
  exit 0
fi
echo "FAIL ($failures)"
exit 1
