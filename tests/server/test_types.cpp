// Every kind of result column MariaDB answers with, and exact money and quantity totals, read
// from the real service through the client's proxy into a client data set.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "served_fixture.h"
#include "vlt/dataset.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

// ---- exact decimal arithmetic on digit strings, independent of the code under test ----------

// Units (the value times 10^scale) as decimal digits without sign or leading zeros.
std::string trimmed(std::string digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

std::string times(const std::string& a, const std::string& b) {
  std::vector<int> acc(a.size() + b.size(), 0);
  for (std::size_t i = a.size(); i-- > 0;)
    for (std::size_t j = b.size(); j-- > 0;)
      acc[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  for (std::size_t k = acc.size(); k-- > 1;) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  std::string out;
  for (int d : acc)
    out += static_cast<char>('0' + d);
  return trimmed(out);
}

// Exact halving of an even number of units.
std::string half(const std::string& a) {
  std::string out;
  int carry = 0;
  for (char ch : a) {
    const int v = carry * 10 + (ch - '0');
    out += static_cast<char>('0' + v / 2);
    carry = v % 2;
  }
  EXPECT_EQ(carry, 0);
  return trimmed(out);
}

// "-123.4500" from units and scale.
std::string text(bool negative, std::string units, int scale) {
  while (static_cast<int>(units.size()) <= scale)
    units.insert(0, 1, '0');
  std::string out = negative && units.find_first_not_of('0') != std::string::npos ? "-" : "";
  const std::size_t point = units.size() - static_cast<std::size_t>(scale);
  out += units.substr(0, point);
  if (scale > 0) out += "." + units.substr(point);
  return out;
}

int integerDigits(const std::string& units, int scale) {
  return std::max(0, static_cast<int>(trimmed(units).size()) - scale);
}

// ---- the fixture -------------------------------------------------------------------------

class ResultTypes : public test::ServedFixture {
 protected:
  void SetUp() override {
    ServedFixture::SetUp();
    owner = userWithSet("类型");
    set = owner.userId + "_01";
    proxy = std::make_unique<TServerMethodsClient>(url);
    ASSERT_TRUE(proxy->CheckLoginUser(owner.userId, "secret 类型"));
  }

  // The account set's database as the administrator (DDL, information_schema).
  std::unique_ptr<Connection> admin() {
    DbEndpoint e = test::rootEndpoint();
    e.database = prefix + "_" + set;
    return Connection::open(e);
  }

  // Reads `sql` into `ds` through the proxy.
  ClientDataSet& read(ClientDataSet& ds, const std::string& sql) {
    ds.LoadFromPacket(proxy->GetUserDBDataBySql(set, sql));
    return ds;
  }
  // The exact text of the decimal `field` of the first row `sql` reads.
  std::string decimal(const std::string& sql, const char* field) {
    ClientDataSet ds;
    return read(ds, sql).FieldByName(field).AsDecimal().toString();
  }

  // The message of the operation failure `call` raises; fails the test for anything else.
  template <typename F>
  std::string operationFailure(F&& call) {
    try {
      call();
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.httpStatus(), 200) << e.what();
      return e.what();
    }
    ADD_FAILURE() << "no failure";
    return {};
  }

  Caller owner;
  std::string set;
  std::unique_ptr<TServerMethodsClient> proxy;
};

// ---- every result type --------------------------------------------------------------------

struct TypeCase {
  const char* column;  // a column type, or nullptr when `value` is a select expression
  const char* value;
  DataType type;
  const char* expected;  // the value as the data set shows it, nullptr for null
  const char* error;     // instead: what the refusal says
};

const TypeCase kTypeCases[] = {
    {"TINYINT(1)", "1", DataType::Int16, "1", nullptr},
    {"TINYINT UNSIGNED", "255", DataType::Int16, "255", nullptr},
    {"SMALLINT UNSIGNED", "65535", DataType::Int32, "65535", nullptr},
    {"MEDIUMINT", "-8388608", DataType::Int32, "-8388608", nullptr},
    {"MEDIUMINT UNSIGNED", "16777215", DataType::Int32, "16777215", nullptr},
    {"INT UNSIGNED", "4294967295", DataType::Int64, "4294967295", nullptr},
    {"BIGINT", "-9223372036854775808", DataType::Int64, "-9223372036854775808", nullptr},
    {"BIGINT UNSIGNED", "9223372036854775807", DataType::Int64, "9223372036854775807", nullptr},
    {"BIGINT UNSIGNED", "18446744073709551615", DataType::Int64, nullptr, "超出了 64 位整数的范围"},
    {nullptr, "CAST(18446744073709551615 AS UNSIGNED)", DataType::Int64, nullptr,
     "超出了 64 位整数的范围"},
    {"BIT(1)", "b'1'", DataType::Int64, "1", nullptr},
    {"BIT(12)", "b'101000000001'", DataType::Int64, "2561", nullptr},
    {"BIT(64)", "18446744073709551615", DataType::Int64, nullptr, "18446744073709551615 超出了"},
    {"YEAR", "2026", DataType::Int16, "2026", nullptr},
    {"YEAR", "0", DataType::Int16, "0", nullptr},
    {"FLOAT", "1.5", DataType::Float, "1.5", nullptr},
    {"FLOAT", "3.4e38", DataType::Float, "3.4e38", nullptr},
    {"DOUBLE", "1e308", DataType::Float, "1e308", nullptr},
    {"DOUBLE", "-2.2250738585072014e-308", DataType::Float, "-2.2250738585072014e-308", nullptr},
    {nullptr, "1e308", DataType::Float, "1e308", nullptr},
    {"DECIMAL(13,4)", "-999999999.9999", DataType::Decimal, "-999999999.9999", nullptr},
    {"DECIMAL(65,30)", "12345678.123456789012345678901234567890", DataType::Decimal,
     "12345678.123456789012345678901234567890", nullptr},
    {"DECIMAL(65,30)", "123456789.5", DataType::Decimal, nullptr, "整数部分有 9 位"},
    {"DECIMAL(65,0)", "99999999999999999999999999999999999999", DataType::Decimal,
     "99999999999999999999999999999999999999", nullptr},
    {nullptr, "CAST(REPEAT('9', 39) AS DECIMAL(65,0))", DataType::Decimal, nullptr,
     "整数部分有 39 位"},
    {nullptr, "1.5 * 2", DataType::Decimal, "3.0", nullptr},
    {"DATE", "'2024-02-29'", DataType::Date, "2024-02-29", nullptr},
    {"DATE", "'0000-00-00'", DataType::Date, nullptr, nullptr},
    {"DATE", "'2026-05-00'", DataType::Date, nullptr, "2026-05-00 不是有效的日期"},
    {"DATETIME", "'0000-00-00 00:00:00'", DataType::DateTime, nullptr, nullptr},
    {"DATETIME", "'2026-00-08 10:11:12'", DataType::DateTime, nullptr, "不是有效的日期时间"},
    {"DATETIME(6)", "'2026-12-08 10:11:12'", DataType::DateTime, "2026-12-08 10:11:12", nullptr},
    {"DATETIME(6)", "'2026-12-08 10:11:12.5'", DataType::DateTime, nullptr, "几分之一秒"},
    {"TIMESTAMP", "'2026-12-08 10:11:12'", DataType::DateTime, "2026-12-08 10:11:12", nullptr},
    {"TIME", "'23:59:59'", DataType::Time, "23:59:59", nullptr},
    {"TIME(3)", "'10:00:00'", DataType::Time, "10:00:00", nullptr},
    {"TIME(3)", "'10:00:00.25'", DataType::Time, nullptr, "几分之一秒"},
    {"TIME", "'-01:00:00'", DataType::Time, nullptr, "不在 00:00:00 到 23:59:59 之间"},
    {"TIME", "'838:59:59'", DataType::Time, nullptr, "不在 00:00:00 到 23:59:59 之间"},
    {"JSON", "'{\"a\":1}'", DataType::String, "{\"a\":1}", nullptr},
    {"ENUM('小','大')", "'大'", DataType::String, "大", nullptr},
    {"SET('a','b')", "'a,b'", DataType::String, "a,b", nullptr},
    {"VARCHAR(20)", "'白砂糖'", DataType::String, "白砂糖", nullptr},
    {"BLOB", "'白砂糖'", DataType::String, "白砂糖", nullptr},
    {"VARBINARY(8)", "x'41FF00'", DataType::String, nullptr, "第 2 字节起不是 UTF-8 文本"},
    {"GEOMETRY", "ST_GeomFromText('POINT(1 2)')", DataType::String, nullptr, "是几何数据"},
    {nullptr, "NULL", DataType::String, nullptr, nullptr},
    {nullptr, "CAST('::1' AS INET6)", DataType::String, "::1", nullptr},
    {nullptr, "CAST('123e4567-e89b-12d3-a456-426614174000' AS UUID)", DataType::String,
     "123e4567-e89b-12d3-a456-426614174000", nullptr},
    {nullptr, "JSON_OBJECT('量', 1.50)", DataType::String, "{\"量\": 1.50}", nullptr},
};

std::string label(std::size_t i, const TypeCase& c) {
  return "case " + std::to_string(i) + ": " + (c.column ? c.column : "") + " " + c.value;
}

void expectCarried(ClientDataSet& ds, const TypeCase& c) {
  const Field& f = ds.FieldByName("v");
  EXPECT_EQ(f.Type(), c.type);
  if (!c.expected) {
    EXPECT_TRUE(f.IsNull()) << f.AsString();
  } else if (c.type == DataType::Float) {
    EXPECT_EQ(f.AsFloat(), std::strtod(c.expected, nullptr));
  } else if (c.type == DataType::Decimal) {
    EXPECT_EQ(f.AsDecimal().toString(), c.expected);
  } else {
    EXPECT_EQ(f.AsString(), c.expected);
  }
}

// Each type is read alone (a refusal ends its statement), whole and streamed (the same writer),
// and as a bill with its lines (typed values), so that both ways agree.
TEST_F(ResultTypes, EveryResultTypeIsCarriedOrRefusedByName) {
  std::string columns = "Bid VARCHAR(15) PRIMARY KEY";
  std::string values = "'B1'";
  for (std::size_t i = 0; i < std::size(kTypeCases); ++i) {
    if (!kTypeCases[i].column) continue;
    columns += ", c" + std::to_string(i) + " " + kTypeCases[i].column;
    values += ", " + std::string(kTypeCases[i].value);
  }
  auto db = admin();
  db->execute("CREATE TABLE kinds (" + columns + ")");
  db->execute("INSERT INTO kinds VALUES (" + values + ")");

  for (std::size_t i = 0; i < std::size(kTypeCases); ++i) {
    const TypeCase& c = kTypeCases[i];
    SCOPED_TRACE(label(i, c));
    const std::string v = c.column ? "c" + std::to_string(i) : std::string(c.value);
    const std::string select = "SELECT Bid, " + v + " AS v FROM kinds";
    if (c.error) {
      const std::string whole = operationFailure([&] { proxy->GetUserDBDataBySql(set, select); });
      EXPECT_NE(whole.find("结果列 v"), std::string::npos) << whole;
      EXPECT_NE(whole.find(c.error), std::string::npos) << whole;
      const std::string bill = operationFailure(
          [&] { proxy->GetMasterAndDetailData(set, "kinds", select, select + " WHERE Bid=:Bid"); });
      EXPECT_EQ(bill, whole);
      continue;
    }
    ClientDataSet whole;
    expectCarried(read(whole, select), c);
    auto bill = proxy->GetMasterAndDetailData(set, "kinds", select, select + " WHERE Bid=:Bid");
    ASSERT_TRUE(bill);
    ClientDataSet ds;
    ds.LoadFromPacket(*bill);
    expectCarried(ds, c);
  }
}

// ---- money and quantities -----------------------------------------------------------------

struct MoneyColumn {
  std::string table, column;
  int precision, scale;
};

// Sums, averages and products of every decimal column of the account set, over values at the
// column's limits: what fits in 38 digits arrives exact, what does not is refused by name.
TEST_F(ResultTypes, TotalsOfEveryMoneyAndQuantityColumnAreExact) {
  auto db = admin();
  Packet found = db->query(
      "SELECT c.TABLE_NAME, c.COLUMN_NAME, c.NUMERIC_PRECISION, c.NUMERIC_SCALE FROM "
      "information_schema.COLUMNS c JOIN information_schema.TABLES t ON t.TABLE_SCHEMA = "
      "c.TABLE_SCHEMA AND t.TABLE_NAME = c.TABLE_NAME WHERE c.TABLE_SCHEMA = DATABASE() AND "
      "t.TABLE_TYPE = 'BASE TABLE' AND c.DATA_TYPE = 'decimal' ORDER BY 1, 2");
  std::vector<MoneyColumn> money;
  for (const Row& r : found.rows)
    money.push_back(
        {r[0].toText(), r[1].toText(), std::stoi(r[2].toText()), std::stoi(r[3].toText())});
  ASSERT_GE(money.size(), 20u);  // bills, lines, balances, prices

  // A table with a column of each one's type: three rows at the top, one at the bottom.
  std::string columns = "dir INT";
  for (std::size_t i = 0; i < money.size(); ++i)
    columns += ", m" + std::to_string(i) + " DECIMAL(" + std::to_string(money[i].precision) + "," +
               std::to_string(money[i].scale) + ")";
  db->execute("CREATE TABLE limits (" + columns + ")");
  for (const char* sign : {"", "", "", "-"}) {
    std::string row = "-1";
    for (const MoneyColumn& m : money)
      row += ", " + std::string(sign) + text(false, std::string(m.precision, '9'), m.scale);
    db->execute("INSERT INTO limits VALUES (" + row + ")");
  }

  int products = 0, refused = 0;
  for (std::size_t i = 0; i < money.size(); ++i) {
    const MoneyColumn& m = money[i];
    SCOPED_TRACE(m.table + "." + m.column);
    const std::string c = "m" + std::to_string(i);
    const std::string top(static_cast<std::size_t>(m.precision), '9');
    const std::string twice = times(top, "2");  // three tops and one bottom

    ClientDataSet ds;
    read(ds,
         "SELECT SUM(" + c + ") AS s, AVG(" + c + ") AS a, SUM(" + c + "*dir) AS sd FROM limits");
    ASSERT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.FieldByName("s").AsDecimal().toString(), text(false, twice, m.scale));
    EXPECT_EQ(ds.FieldByName("a").AsDecimal().toString(),
              text(false, half(top + "0000"), m.scale + 4));
    EXPECT_EQ(ds.FieldByName("sd").AsDecimal().toString(), text(true, twice, m.scale));
    for (const char* name : {"s", "a", "sd"}) {
      EXPECT_EQ(ds.FieldByName(name).Type(), DataType::Decimal);
      EXPECT_LE(ds.FieldByName(name).Precision(), Decimal::kMaxDigits);
    }

    // The largest product: carried when its integer part fits beside its scale.
    const std::string square = times(top, top);
    const std::string product = "SELECT MAX(" + c + ")*MIN(" + c + ") AS p FROM limits";
    ++products;
    if (integerDigits(square, 2 * m.scale) + 2 * m.scale <= Decimal::kMaxDigits) {
      EXPECT_EQ(decimal(product, "p"), text(true, square, 2 * m.scale));
    } else {
      ++refused;
      const std::string why = operationFailure([&] { proxy->GetUserDBDataBySql(set, product); });
      EXPECT_NE(why.find("结果列 p"), std::string::npos) << why;
      EXPECT_NE(why.find("整数部分有 " + std::to_string(integerDigits(square, 2 * m.scale))),
                std::string::npos)
          << why;
    }
  }
  // Both outcomes occurred: the widest columns' squares do not fit, the quantities' do.
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, products);
}

// The report statements of the books, unchanged, over a bill at the columns' limits.
TEST_F(ResultTypes, ReportStatementsTotalExactly) {
  const char* setup[] = {
      "Insert into td_unit (Id,Name) value ('U1','个')",
      "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
      "('V1','供货商甲','','','','False')",
      "INSERT INTO td_goods (Id, Code, Name, UnitID) VALUES ('G1', 'G001', '可乐', 'U1')",
      "INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsStoreIO) VALUES ('PC1', "
      "'2026-11-30', 'PC202611300001', 'V1', 'True')",
      "INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES "
      "('PC1', 1, 'G1', 999999999.9998, 1, 500000000000000000.01), "
      "('PC1', 2, 'G1', 0.0001, 1, 499999999999999999.98)",
  };
  for (const char* sql : setup)
    ASSERT_EQ(proxy->doUserDBDataBySql(set, sql), "0") << sql;

  ClientDataSet byTrader;
  read(byTrader,
       "select ta.name,SUM(d.Qty) as qty,SUM(Amount) as amount FROM (tb_pur_purchase M JOIN "
       "tb_pur_purchase_d D on (m.Bid=d.Bid) JOIN td_trader Ta on (m.TraderID=ta.id)) where "
       "(1=1) GROUP BY TraderID");
  ASSERT_EQ(byTrader.RecordCount(), 1);
  EXPECT_EQ(byTrader.FieldByName("name").AsString(), "供货商甲");
  EXPECT_EQ(byTrader.FieldByName("qty").AsDecimal().toString(), "999999999.9999");
  EXPECT_EQ(byTrader.FieldByName("amount").AsDecimal().toString(), "999999999999999999.99");

  ClientDataSet stock;
  read(stock,
       "(SELECT goodsid,SUM(qty*ioDirect) as InitQty,null as Inqty,null as outQty,null as "
       "BalanceQty from view_storebillflow where (1=1) and bdate<'2026-12-01' group by goodsid)");
  ASSERT_EQ(stock.RecordCount(), 1);
  EXPECT_EQ(stock.FieldByName("InitQty").AsDecimal().toString(), "999999999.9999");
  EXPECT_TRUE(stock.FieldByName("BalanceQty").IsNull());

  // The opening balance: every movement of the trader before the range, signed.
  Packet moves = admin()->query(
      "SELECT IOAmount, IODirection FROM ts_traderbalancedetailflow WHERE TraderID = 'V1' AND "
      "IOAmount <> 0");
  ASSERT_EQ(moves.rows.size(), 1u);
  const std::string amount = moves.rows[0][0].decimal().toString();
  const bool negative = moves.rows[0][1].toText() == "-1";
  EXPECT_EQ(amount, "999999999999999999.9900");
  ClientDataSet opening;
  read(opening,
       "select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,"
       "SUM(m.IOAmount*m.IODirection) as balance,null as Revmemo,'期初余额' as billName,null as "
       "bdate,t.name as bcode,null as IODirection,null as billRemark,-1 as sortID from "
       "ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN td_trader "
       "t on m.TraderID=t.Id where (1=1) and bdate<'2026-12-31' or m.bid='-99' GROUP BY TraderID");
  ASSERT_EQ(opening.RecordCount(), 1);
  EXPECT_EQ(opening.FieldByName("balance").AsDecimal().toString(), (negative ? "-" : "") + amount);

  // A bill with its lines totalled: the nested fields carry the wide sums as well.
  auto bill = proxy->GetMasterAndDetailData(
      set, "tb_pur_purchase", "select * from tb_pur_purchase",
      "select Bid, SUM(Qty) as qty, SUM(Qty*Price) as cost, SUM(Amount) as amount from "
      "tb_pur_purchase_d where Bid=:Bid group by Bid");
  ASSERT_TRUE(bill);
  ClientDataSet master, lines;
  master.LoadFromPacket(*bill);
  lines.SetDataSetField(master, "tb_pur_purchase_d");
  ASSERT_EQ(lines.RecordCount(), 1);
  EXPECT_EQ(lines.FieldByName("qty").AsDecimal().toString(), "999999999.9999");
  EXPECT_EQ(lines.FieldByName("cost").AsDecimal().toString(), "999999999.999900");
  EXPECT_EQ(lines.FieldByName("amount").AsDecimal().toString(), "999999999999999999.99");
}

// A value that does not fit, found after the first rows went out, ends the streamed packet with
// the error; before that it is an operation failure on every read.
TEST_F(ResultTypes, UnfitValuesAreOperationFailuresOnEveryRead) {
  const std::string huge = "CAST(REPEAT('9', 40) AS DECIMAL(65,0))";
  const std::string late =
      "SELECT seq, IF(seq = 20000, " + huge + ", seq) AS big FROM seq_1_to_20000 ORDER BY seq";
  std::string why = operationFailure([&] { proxy->GetUserDBDataBySql(set, late); });
  EXPECT_NE(why.find("结果列 big 第 20000 行"), std::string::npos) << why;
  EXPECT_NE(why.find("整数部分有 40 位"), std::string::npos) << why;

  why = operationFailure(
      [&] { proxy->GetSysMainDBDataBySql(owner.userId, "SELECT " + huge + " AS big"); });
  EXPECT_NE(why.find("结果列 big"), std::string::npos) << why;

  // The connection that carried the refusal serves the next read.
  ClientDataSet after;
  EXPECT_EQ(read(after, "SELECT COUNT(*) AS n FROM seq_1_to_20000").FieldByName("n").AsString(),
            "20000");
}

// Each kind of failure answers its status: a request the service cannot read or may not serve
// is refused, a statement that ran but failed or whose answer cannot be encoded is an operation
// failure ({"error": ...} with 200), which the client shows as the database's message.
TEST_F(ResultTypes, FailureKindsAnswerTheirStatus) {
  httplib::Client raw(url);
  auto login =
      raw.Post("/api/CheckLoginUser",
               nlohmann::json{{"UserID", owner.userId}, {"Password", "secret 类型"}}.dump(),
               "application/json");
  ASSERT_TRUE(login);
  const httplib::Headers auth = {
      {"Authorization",
       "Bearer " + nlohmann::json::parse(login->body)["token"].get<std::string>()}};
  const auto read = [&](const std::string& sql) {
    return nlohmann::json{{"UserDBID", set}, {"SQL", sql}}.dump();
  };
  struct Case {
    std::string op, body;
    bool signedIn;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"GetUserDBDataBySql", "{\"UserDBID\":", true, 400, "请求格式错误"},
      {"GetUserDBDataBySql", "{}", true, 400, "缺少参数"},
      {"SaveUserDBDataByDelta",
       nlohmann::json{{"UserDBID", set}, {"Table", "td_unit"}, {"Delta", "{\"fields\":"}}.dump(),
       true, 400, "数据格式错误"},
      {"GetUserDBDataBySql", read("select 1"), false, 401, "登录已过期"},
      {"GetUserDBDataBySql", nlohmann::json{{"UserDBID", "1_01"}, {"SQL", "select 1"}}.dump(), true,
       403, "1_01"},
      {"NoSuchOperation", "{}", true, 404, "未知的操作：NoSuchOperation"},
      {"GetUserDBDataBySql", read("select nonsense"), true, 200, "Unknown column 'nonsense'"},
      {"GetUserDBDataBySql", read("select 1 as a, 2 as A"), true, 200, "数据格式错误"},
      {"GetUserDBDataBySql", read("select CAST(REPEAT('9', 39) AS DECIMAL(65,0)) as big"), true,
       200, "结果列 big"},
      {"GetMasterAndDetailData",
       nlohmann::json{{"UserDBID", set},
                      {"MasterTable", "td_unit"},
                      {"MasterSQL", "select 'B1' as Bid, 1 as a, 2 as A"},
                      {"DetailSQL", "select :bid as Bid"}}
           .dump(),
       true, 200, "数据格式错误"},
      {"GetMasterAndDetailData",
       nlohmann::json{{"UserDBID", set},
                      {"MasterTable", "td_unit"},
                      {"MasterSQL", "select 'B1' as Bid"},
                      {"DetailSQL", "select :bid as Bid, CAST('25:00' AS TIME) as t"}}
           .dump(),
       true, 200, "结果列 t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + " " + c.body);
    auto r = c.signedIn ? raw.Post("/api/" + c.op, auth, c.body, "application/json")
                        : raw.Post("/api/" + c.op, c.body, "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    const auto answer = nlohmann::json::parse(r->body);
    ASSERT_TRUE(answer.contains("error")) << r->body;
    EXPECT_NE(answer["error"].get<std::string>().find(c.message), std::string::npos) << r->body;
  }
}

}  // namespace
}  // namespace vlt::server
