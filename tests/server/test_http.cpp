#include <httplib.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <thread>

#include "http.h"
#include "served_fixture.h"
#include "vlt/dataset.h"
#include "vlt/json.h"
#include "vlt/servermethods.h"

namespace vlt::server {
namespace {

using HttpTest = test::ServedFixture;

TEST_F(HttpTest, EveryOperationThroughTheProxy) {
  std::string id = service->CreateUser("店主", "pw");
  TServerMethodsClient proxy(url);
  EXPECT_FALSE(proxy.CheckLoginUser(id, "wrong"));
  ASSERT_TRUE(proxy.CheckLoginUser(id, "pw"));
  const std::string set = id + "_01";
  EXPECT_EQ(proxy.CreateUserDB("Main", id, set, "门店", "False"), "0");
  adminExecute(set, "CREATE TABLE t_unit (ID VARCHAR(15) PRIMARY KEY, Name VARCHAR(40) UNIQUE)");
  adminExecute(set, "CREATE TABLE tb_x (Bid VARCHAR(15) PRIMARY KEY, BCode VARCHAR(20))");
  adminExecute(set,
               "CREATE TABLE tb_x_d (Bid VARCHAR(15), BNo INT, Qty DECIMAL(13,4), "
               "PRIMARY KEY (Bid, BNo))");

  EXPECT_EQ(proxy.doUserDBDataBySql(set, "insert into t_unit values ('1','个')"), "0");
  ClientDataSet units;
  units.LoadFromPacket(proxy.GetUserDBDataBySql(set, "select * from t_unit"));
  units.Append();
  units.FieldByName("ID").SetAsString("2");
  units.FieldByName("Name").SetAsString("箱 \"大\"");
  units.Post();
  EXPECT_EQ(proxy.SaveUserDBDataByDelta(set, "t_unit", "ID", units.GetDelta()), "0");
  EXPECT_TRUE(proxy.CheckValueIsExistBySql(set, "select * from t_unit where Name='箱 \"大\"'"));
  EXPECT_FALSE(proxy.CheckValueIsExistBySql(set, "select * from t_unit where Name='无'"));
  EXPECT_NE(
      proxy.doUserDBDataBySql(set, "insert into t_unit values ('3','个')").find("Duplicate entry"),
      std::string::npos);

  EXPECT_EQ(proxy.GetBill_MaxBcode(set, "PO", "tb_x", "2026-12-08"), "PO202612080001");
  EXPECT_FALSE(proxy.GetMasterAndDetailData(set, "tb_x", "select * from tb_x",
                                            "select * from tb_x_d where Bid=:Bid"));
  proxy.doUserDBDataBySql(set, "insert into tb_x values ('B1','PO202612080001')");
  proxy.doUserDBDataBySql(set, "insert into tb_x_d values ('B1',1,2.5)");
  auto page = proxy.GetMasterAndDetailData(set, "tb_x", "select * from tb_x",
                                           "select * from tb_x_d where Bid=:Bid");
  ASSERT_TRUE(page);
  ClientDataSet master, lines;
  master.LoadFromPacket(*page);
  lines.SetDataSetField(master, "tb_x_d");
  lines.Append();
  lines.FieldByName("Bid").SetAsString("B1");
  lines.FieldByName("BNo").SetAsInteger(2);
  lines.FieldByName("Qty").SetAsString("7.5");
  lines.Post();
  master.Post();
  EXPECT_EQ(proxy.SaveMasterAndDetailData(set, "tb_x", master.GetDelta()), "0");
  EXPECT_EQ(proxy.GetUserDBDataBySql(set, "select sum(Qty) from tb_x_d").rows[0][0].toText(), "10");

  EXPECT_EQ(proxy.GetRegisUserInfo(id).rows[0][0].toText(), "店主");
  EXPECT_EQ(proxy
                .GetSysMainDBDataBySql(
                    id, "select UserDBName from userdatabase where UserDBID='" + set + "'")
                .rows[0][0]
                .toText(),
            "门店");
  EXPECT_EQ(proxy.doSysMainDBDataBySql(
                "update userdatabase set UserDBName='新名' where UserDBID='" + set + "'"),
            "0");

  IdAllocator ids([&] { return proxy.GetNewIDBlock(); });
  std::string first = ids.next();
  EXPECT_EQ(first.size(), 15u);
  EXPECT_NE(ids.next(), first);

  proxy.Logout();
  EXPECT_FALSE(proxy.SignedIn());
  try {
    proxy.GetUserDBDataBySql(set, "select 1");
    ADD_FAILURE() << "served without a session";
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.httpStatus(), 401);
  }
}

// The proxy reaches the service by every form of its address, and a request longer than what
// the client gathers before sending arrives whole.
TEST_F(HttpTest, TheProxyTakesEveryFormOfTheAddressAndRequestsOfAnySize) {
  const std::string id = service->CreateUser("店主", "pw");
  const std::string p = std::to_string(port);
  for (const std::string& address : {"http://127.0.0.1:" + p, "127.0.0.1:" + p,
                                     "http://127.0.0.1:" + p + "/", "http://localhost:" + p}) {
    TServerMethodsClient proxy(address);
    EXPECT_TRUE(proxy.CheckLoginUser(id, "pw")) << address;
  }
  TServerMethodsClient proxy(url);
  ASSERT_TRUE(proxy.CheckLoginUser(id, "pw"));
  const std::string set = id + "_01";
  ASSERT_EQ(proxy.CreateUserDB("Main", id, set, "门店", "False"), "0");
  const std::string text(200 * 1024, 'x');
  ClientDataSet echoed;
  echoed.LoadFromPacket(proxy.GetUserDBDataBySql(set, "select '" + text + "' as t"));
  EXPECT_EQ(echoed.FieldByName("t").AsString(), text);
}

// A read aside runs on a connection of its own with the proxy's session as it is when asked:
// its rows or its failure come out of the future, and the proxy goes on meanwhile.
TEST_F(HttpTest, ReadsAsideCarryTheSessionAndTheirFailures) {
  const std::string id = service->CreateUser("店主", "pw");
  TServerMethodsClient proxy(url);
  ASSERT_TRUE(proxy.CheckLoginUser(id, "pw"));
  const std::string set = id + "_01";
  ASSERT_EQ(proxy.CreateUserDB("Main", id, set, "门店", "False"), "0");
  std::future<Packet> total = proxy.GetUserDBDataBySqlAside(set, "select 12.5 as Amount");
  std::future<Packet> user = proxy.GetSysMainDBDataBySqlAside(id, "select 1 as n");
  EXPECT_EQ(proxy.GetUserDBDataBySql(set, "select 2 as n").rows.at(0).at(0).toText(), "2");
  EXPECT_EQ(total.get().rows.at(0).at(0).toText(), "12.5");
  EXPECT_EQ(user.get().rows.size(), 1U);

  std::future<Packet> bad = proxy.GetUserDBDataBySqlAside(set, "select nothing from nowhere");
  EXPECT_THROW(bad.get(), RemoteError);
  proxy.Logout();
  std::future<Packet> late = proxy.GetUserDBDataBySqlAside(set, "select 1");
  try {
    late.get();
    ADD_FAILURE() << "a read aside outlived the session";
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.httpStatus(), 401);
  }
}

TEST_F(HttpTest, BadRequestsAreRefusedAndTheServiceGoesOn) {
  std::string owner = service->CreateUser("owner", "pw");
  std::string stranger = service->CreateUser("stranger", "pw");
  Caller c{owner, ""};
  service->CreateUserDB(c, owner, owner + "_01", "x", "False");
  TServerMethodsClient proxy(url);
  ASSERT_TRUE(proxy.CheckLoginUser(stranger, "pw"));
  try {
    proxy.GetUserDBDataBySql(owner + "_01", "select 1");
    ADD_FAILURE() << "a stranger reached the set";
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.httpStatus(), 403);
  }
  try {
    proxy.GetUserDBDataBySql(owner + "_01", "select nonsense from nowhere");
    ADD_FAILURE();
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.httpStatus(), 403);
  }

  httplib::Client raw(url);
  const std::pair<std::string, int> cases[] = {{"{not json", 400},
                                               {"[1,2]", 400},
                                               {"{}", 400},
                                               {"{\"UserDBID\":\"x\",\"SQL\":\"select 1\"}", 403}};
  httplib::Headers auth;
  {
    auto r = raw.Post("/api/CheckLoginUser",
                      "{\"UserID\":\"" + stranger + "\",\"Password\":\"pw\"}", "application/json");
    ASSERT_TRUE(r);
    auth.emplace("Authorization",
                 "Bearer " + nlohmann::json::parse(r->body)["token"].get<std::string>());
  }
  for (const auto& [body, status] : cases) {
    auto r = raw.Post("/api/GetUserDBDataBySql", auth, body, "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, status) << body << " -> " << r->body;
  }
  auto bad =
      raw.Post("/api/SaveUserDBDataByDelta", auth,
               "{\"UserDBID\":\"" + stranger + "_01\",\"Table\":\"t\",\"Delta\":{\"rows\":1}}",
               "application/json");
  EXPECT_EQ(bad->status, 400);
  EXPECT_EQ(raw.Post("/api/NoSuchOperation", auth, "{}", "application/json")->status, 404);
  EXPECT_EQ(raw.Post("/api/GetUserDBDataBySql", "{}", "application/json")->status, 401);
  httplib::Headers forged{{"Authorization", "Bearer " + std::string(64, 'f')}};
  EXPECT_EQ(raw.Post("/api/GetUserDBDataBySql", forged, "{}", "application/json")->status, 401);
  auto big = raw.Post("/api/GetUserDBDataBySql", auth, std::string(2 * 1024 * 1024, ' '),
                      "application/json");
  EXPECT_TRUE(!big || big->status == 413);
  // Still serving.
  EXPECT_TRUE(proxy.GetRegisUserInfo(owner).rows.size() == 1);
}

TEST(HttpClient, AnUnreachableServiceSaysConnectionRefused) {
  TServerMethodsClient proxy("http://127.0.0.1:1");
  try {
    proxy.CheckLoginUser("10001", "x");
    ADD_FAILURE() << "no error";
  } catch (const RemoteError& e) {
    EXPECT_NE(std::string(e.what()).find("Connection refused"), std::string::npos) << e.what();
    EXPECT_EQ(e.httpStatus(), 0);
  }
}

}  // namespace
}  // namespace vlt::server

namespace vlt::server {
namespace {

// Every operation that names an account set, as an owner, an admitted operator, a stranger and
// an operator whose admission was withdrawn.
TEST_F(HttpTest, EveryAccountSetOperationChecksWhoAsks) {
  std::string owner = service->CreateUser("owner", "pw");
  std::string operatorId = service->CreateUser("operator", "pw");
  std::string stranger = service->CreateUser("stranger", "pw");
  const std::string set = owner + "_01";
  ASSERT_EQ(service->CreateUserDB(Caller{owner, ""}, owner, set, "店", "False"), "0");
  service->doSysMainDBDataBySql(Caller{owner, ""},
                                "Insert into userdatabaseoperator "
                                "(UserDBID,UserID) values ('" +
                                    set + "','" + operatorId + "')");
  Delta emptyDelta;
  emptyDelta.fields.add("ID", DataType::String, 15);
  using Call = std::function<void(TServerMethodsClient&)>;
  const std::pair<const char*, Call> calls[] = {
      {"GetUserDBDataBySql", [&](auto& p) { p.GetUserDBDataBySql(set, "select * from td_unit"); }},
      {"doUserDBDataBySql",
       [&](auto& p) { p.doUserDBDataBySql(set, "delete from td_unit where 1=0"); }},
      {"SaveUserDBDataByDelta",
       [&](auto& p) { p.SaveUserDBDataByDelta(set, "td_unit", "ID", emptyDelta); }},
      {"CheckValueIsExistBySql", [&](auto& p) { p.CheckValueIsExistBySql(set, "select 1"); }},
      {"GetMasterAndDetailData",
       [&](auto& p) {
         p.GetMasterAndDetailData(set, "tb_pur_purchase", "select * from tb_pur_purchase",
                                  "select * from tb_pur_purchase_d where Bid=:Bid");
       }},
      {"SaveMasterAndDetailData",
       [&](auto& p) { p.SaveMasterAndDetailData(set, "tb_pur_purchase", emptyDelta); }},
      {"GetBill_MaxBcode",
       [&](auto& p) { p.GetBill_MaxBcode(set, "PO", "tb_pur_order", "2026-12-08"); }},
      {"GetSysMainDBDataBySql naming the set",
       [&](auto& p) {
         p.GetSysMainDBDataBySql("Main", "select count(*) from " + set + ".ts_userpower");
       }},
  };
  auto signedIn = [&](const std::string& id) {
    auto p = std::make_unique<TServerMethodsClient>(url);
    EXPECT_TRUE(p->CheckLoginUser(id, "pw"));
    return p;
  };
  auto ownerProxy = signedIn(owner), operatorProxy = signedIn(operatorId),
       strangerProxy = signedIn(stranger);
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(call(*ownerProxy));
    EXPECT_NO_THROW(call(*operatorProxy));
    try {
      call(*strangerProxy);
      ADD_FAILURE() << "a stranger was served";
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.httpStatus(), 403) << e.what();
    }
  }
  ASSERT_EQ(ownerProxy->doSysMainDBDataBySql("delete from userdatabaseoperator where UserDBID='" +
                                             set + "' and UserID='" + operatorId + "'"),
            "0");
  for (const auto& [name, call] : calls) {
    SCOPED_TRACE(std::string("after withdrawal: ") + name);
    try {
      call(*operatorProxy);
      ADD_FAILURE() << "a withdrawn operator was served";
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.httpStatus(), 403) << e.what();
    }
  }
}

}  // namespace
}  // namespace vlt::server

namespace vlt::server {
namespace {

// A person-card category deleted the way the list window does it: the change log of a data set
// saved against the columns a select names, with no key column among them.
TEST_F(HttpTest, SystemDeltasMatchOnTheNamedColumnsOfTheCallersRows) {
  std::string me = service->CreateUser("me", "pw");
  std::string other = service->CreateUser("other", "pw");
  TServerMethodsClient mine(url), theirs(url);
  ASSERT_TRUE(mine.CheckLoginUser(me, "pw"));
  ASSERT_TRUE(theirs.CheckLoginUser(other, "pw"));
  const std::string insert =
      "INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values (";
  EXPECT_EQ(mine.doSysMainDBDataBySql(insert + "'" + me + "',2,-1,'餐饮')"), "0");
  EXPECT_EQ(mine.doSysMainDBDataBySql(insert + "'" + me + "',2,-1,'交通')"), "0");
  EXPECT_EQ(theirs.doSysMainDBDataBySql(insert + "'" + other + "',2,-1,'餐饮')"), "0");

  ClientDataSet types;
  types.LoadFromPacket(mine.GetSysMainDBDataBySql(
      me, "select UserID,IOKind,IODirect,IOType from UserPersionIOType where UserID=" + me +
              " order by IOType"));
  ASSERT_EQ(types.RecordCount(), 2);
  ASSERT_TRUE(types.Locate("IOType", Value("餐饮")));
  types.Delete();
  const std::string shape = "select UserID,IOKind,IODirect,IOType from UserPersionIOType where 1=0";
  EXPECT_EQ(mine.SaveSysMainDataBySql(me, shape, types.GetDelta()), "0");
  types.MergeChangeLog();
  EXPECT_EQ(mine.GetSysMainDBDataBySql(me, "select IOType from userpersioniotype").rows.size(), 1u);
  EXPECT_EQ(theirs.GetSysMainDBDataBySql(other, "select IOType from userpersioniotype").rows.size(),
            1u);  // the other user's row of the same name stays

  // A delta naming another user's row finds nothing to change and is refused as stale.
  Delta forged;
  forged.fields = types.Data().fields;
  DeltaRow row;
  row.kind = ChangeKind::Delete;
  row.oldValues = {Value(std::int64_t{std::stoll(other)}), Value(std::int32_t{2}),
                   Value(std::int32_t{-1}), Value("餐饮")};
  forged.rows.push_back(row);
  EXPECT_NE(mine.SaveSysMainDataBySql(me, shape, forged), "0");
  try {
    mine.SaveSysMainDataBySql(other, shape, forged);
    ADD_FAILURE() << "saved in another user's name";
  } catch (const RemoteError& e) {
    EXPECT_EQ(e.httpStatus(), 403);
  }
  EXPECT_EQ(theirs.GetSysMainDBDataBySql(other, "select IOType from userpersioniotype").rows.size(),
            1u);
}

}  // namespace
}  // namespace vlt::server

namespace vlt::server {
namespace {

// A service answering HTTP on a free loopback port, for tests that need one with settings of
// their own.
struct Served {
  explicit Served(DataService& service) {
    tuneServer(server, 4);
    mountApi(server, service);
    port = bindServer(server, "127.0.0.1", 0);
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    url = "http://127.0.0.1:" + std::to_string(port);
  }
  ~Served() {
    server.stop();
    thread.join();
  }
  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::string url;
};

class HttpStreamTest : public HttpTest {
 protected:
  // 3000 rows of every column type the database gives, with nulls, zero dates, the ends of a
  // day, Chinese text, quotes, backslashes and control characters: enough to be streamed.
  void createEveryTypeTable(const std::string& set) {
    adminExecute(set,
                 "CREATE TABLE t_all (ID INT PRIMARY KEY, I8 TINYINT, U16 SMALLINT UNSIGNED, "
                 "I24 MEDIUMINT, U32 INT UNSIGNED, I64 BIGINT, Y YEAR, F FLOAT, D DOUBLE, "
                 "Money DECIMAL(13,4), Neg DECIMAL(11,2), Day DATE, At DATETIME, "
                 "Stamp TIMESTAMP NULL, Clock TIME, Name VARCHAR(40), Note TEXT)");
    adminExecute(
        set,
        "INSERT INTO t_all SELECT seq, seq % 256 - 128, 65535 - seq, -3 * seq, 4294967295 - seq, "
        "-9223372036854775807 + seq, 1901 + seq % 254, seq / 8, seq * 1.1e-5, "
        "seq * 12.3456 - 10000, -seq / 100, "
        "IF(seq % 10 = 0, '0000-00-00', '2026-01-01' + INTERVAL seq DAY), "
        "IF(seq % 7 = 0, '0000-00-00 00:00:00', '2026-12-08 10:30:00' + INTERVAL seq MINUTE), "
        "IF(seq % 2 = 1, NULL, FROM_UNIXTIME(1700000000 + seq)), "
        "IF(seq % 11 = 0, '00:00:00', IF(seq % 13 = 0, '23:59:59', SEC_TO_TIME(seq * 17))), "
        "CONCAT('货品', seq, ' \"引号\" \\ ', CHAR(9), CHAR(1 USING utf8mb4)), "
        "IF(seq % 3 = 0, NULL, REPEAT('备注', seq % 5)) "
        "FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_3000) s");
  }
};

// Signs in over plain HTTP and gives the header that carries the session.
httplib::Headers signedIn(httplib::Client& raw, const std::string& userId,
                          const std::string& password) {
  auto r = raw.Post("/api/CheckLoginUser",
                    "{\"UserID\":\"" + userId + "\",\"Password\":\"" + password + "\"}",
                    "application/json");
  EXPECT_TRUE(r);
  if (!r) return {};
  return {
      {"Authorization", "Bearer " + nlohmann::json::parse(r->body)["token"].get<std::string>()}};
}

TEST_F(HttpStreamTest, StreamedAnswersAreTheUnstreamedTextExactly) {
  Caller owner = userWithSet("owner");
  const std::string set = owner.userId + "_01";
  createEveryTypeTable(set);
  TServerMethodsClient proxy(url);
  ASSERT_TRUE(proxy.CheckLoginUser(owner.userId, "secret owner"));
  httplib::Client raw(url);
  httplib::Headers auth = signedIn(raw, owner.userId, "secret owner");

  struct Case {
    std::string sql;
    bool streamed;
  };
  const std::vector<Case> cases = {
      {"select * from t_all", true},
      {"select * from t_all where ID <= 3", false},
      {"select * from t_all where 1=0", false},
      {"select Name, Money, Day from t_all order by ID desc", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    // The service's own packet, typed values and all, as the unstreamed answer wrote it.
    const Packet expected = service->GetUserDBDataBySql(owner, set, c.sql);
    auto r =
        raw.Post("/api/GetUserDBDataBySql", auth,
                 "{\"UserDBID\":\"" + set + "\",\"SQL\":\"" + c.sql + "\"}", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Transfer-Encoding") == "chunked", c.streamed);
    EXPECT_TRUE(r->body == "{\"packet\":" + encodePacket(expected) + "}") << r->body.substr(0, 300);
    EXPECT_EQ(proxy.GetUserDBDataBySql(set, c.sql), expected);
  }
  const std::string sys = "select UserDBID, UserDBName from userdatabase";
  EXPECT_EQ(proxy.GetSysMainDBDataBySql(owner.userId, sys),
            service->GetSysMainDBDataBySql(owner, owner.userId, sys));
  // The connection goes back to the pool usable after a streamed answer.
  EXPECT_EQ(proxy.GetUserDBDataBySql(set, "select count(*) from t_all").rows[0][0].toText(),
            "3000");
}

TEST_F(HttpStreamTest, FailuresBeforeOrAfterTheFirstRowsAnswerAsErrors) {
  Caller owner = userWithSet("owner");
  const std::string set = owner.userId + "_01";
  createEveryTypeTable(set);
  ServiceSettings s;
  s.admin = test::rootEndpoint();
  s.prefix = prefix;
  s.fastHashing = true;
  s.maxResultRows = 2000;
  DataService capped(s);
  Served served(capped);
  TServerMethodsClient proxy(served.url);
  ASSERT_TRUE(proxy.CheckLoginUser(owner.userId, "secret owner"));

  httplib::Client raw(served.url);
  httplib::Headers auth = signedIn(raw, owner.userId, "secret owner");

  struct Case {
    std::string sql;
    std::string message;
    bool streamed;  // the failure came after the first rows went out
  };
  const std::vector<Case> cases = {
      // Past the row cap, found long after the first rows went out.
      {"select * from t_all", "more than 2000 rows", true},
      {"select nonsense from t_all", "Unknown column", false},
      {"select ID, (select ID from t_all) from t_all", "Subquery returns more than 1 row", false},
      // A failure of the database in the middle of the rows.
      {"select t.ID, t.Name, (select y.ID from t_all y where t.ID >= 1500 and y.ID in (t.ID, "
       "t.ID + 1)) from t_all t where t.ID < 1990",
       "Subquery returns more than 1 row", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    try {
      Packet p = proxy.GetUserDBDataBySql(set, c.sql);
      ADD_FAILURE() << "answered " << p.rows.size() << " rows";
    } catch (const RemoteError& e) {
      EXPECT_EQ(e.httpStatus(), 200);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    auto r = raw.Post("/api/GetUserDBDataBySql", auth,
                      nlohmann::json{{"UserDBID", set}, {"SQL", c.sql}}.dump(), "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    const std::string head = c.streamed ? "{\"packet\":{" : "{\"error\":";
    EXPECT_EQ(r->body.substr(0, head.size()), head);
    if (c.streamed) {
      EXPECT_NE(r->body.find("]},\"error\":"), std::string::npos);
      EXPECT_THROW(decodePacket(r->body.substr(10, r->body.size() - 11)), ParseError);
    }
  }
  // The same connection still answers.
  EXPECT_EQ(proxy.GetUserDBDataBySql(set, "select count(*) from t_all").rows[0][0].toText(),
            "3000");
}

// What the client makes of answers that break off or end in an error after their first rows.
TEST(HttpClient, AStreamThatBreaksOffOrEndsInAnErrorGivesNoPacket) {
  Packet p;
  p.fields.add("ID", DataType::Int32);
  p.fields.add("Name", DataType::String, 40);
  for (int i = 0; i < 5000; ++i)
    p.rows.push_back(Row{Value(std::int32_t{i}), Value("货品 " + std::to_string(i))});
  const std::string packet = encodePacket(p);
  std::string damaged = packet;
  damaged[packet.find("],[", packet.size() / 2) + 2] = '{';  // a row that is not an array

  struct Case {
    std::string name;
    std::string body;  // sent in chunks of 10,000 bytes
    bool breakOff;     // the connection closes before the end of the answer
    int status;        // of the RemoteError; -1 for a ParseError, 0 for none
    std::string message;
  };
  const std::vector<Case> cases = {
      {"whole", "{\"packet\":" + packet + "}", false, 0, ""},
      {"broken off", "{\"packet\":" + packet.substr(0, packet.size() / 2), true, 0,
       "did not answer"},
      {"error after rows", "{\"packet\":" + packet + ",\"error\":\"出错了\"}", false, 200,
       "出错了"},
      {"malformed row", "{\"packet\":" + damaged + "}", false, -1, "row"},
      {"no closing brace", "{\"packet\":" + packet, false, 0, "no packet"},
  };
  const Case* current = nullptr;
  httplib::Server server;
  server.set_keep_alive_max_count(1);  // an answer broken off ends its connection at once
  server.Post("/api/GetUserDBDataBySql", [&](const httplib::Request&, httplib::Response& res) {
    const Case c = *current;
    res.set_chunked_content_provider("application/json",
                                     [c](std::size_t offset, httplib::DataSink& sink) {
                                       if (offset >= c.body.size()) {
                                         if (c.breakOff) return false;
                                         sink.done();
                                         return true;
                                       }
                                       const std::string piece = c.body.substr(offset, 10000);
                                       sink.write(piece.data(), piece.size());
                                       return true;
                                     });
  });
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  while (!server.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  TServerMethodsClient proxy("http://127.0.0.1:" + std::to_string(port));
  // The packet whole, or handed to a sink while it arrives: the same outcome either way.
  struct Gathered : PacketSink {
    Packet packet;
    void fields(const FieldDefs& defs) override { packet.fields = defs; }
    void row(Row&& r) override { packet.rows.push_back(std::move(r)); }
  };
  for (const Case& c : cases)
    for (bool viaSink : {false, true}) {
      SCOPED_TRACE(c.name + (viaSink ? " (to a sink)" : ""));
      current = &c;
      try {
        Gathered sink;
        if (viaSink) proxy.StreamUserDBDataBySql("1_01", "select", sink);
        Packet got = viaSink ? std::move(sink.packet) : proxy.GetUserDBDataBySql("1_01", "select");
        EXPECT_TRUE(c.message.empty()) << "answered " << got.rows.size() << " rows";
        EXPECT_EQ(got, p);
      } catch (const RemoteError& e) {
        EXPECT_EQ(e.httpStatus(), c.status == 200 ? 200 : 0) << e.what();
        EXPECT_GE(c.status, 0) << e.what();
        EXPECT_FALSE(c.message.empty());
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      } catch (const ParseError& e) {
        EXPECT_EQ(c.status, -1) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      }
    }
  server.stop();
  thread.join();
}

}  // namespace
}  // namespace vlt::server
