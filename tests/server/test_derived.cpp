// The derived data of an account set (balances, movements, done quantities, finished flags, the
// stock view) kept right through the data service, saved the way the client saves: bills as a
// master row with nested lines, receipts and payments as deltas, plain statements. After the
// steps of a seeded random walk the independent recomputation in check_account.sql must find
// nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "migrations.h"
#include "service_fixture.h"
#include "vlt/dataset.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

// ---- bill kinds ---------------------------------------------------------------------------

enum class Side { None, Vendor, Client };

struct BillKind {
  const char* table;
  const char* prefix;  // bill code prefix
  int code;            // RelationKind of lines taken from this bill (0: never a source)
  Side side;
  bool storeIO;              // has IsStoreIO: may move its stock itself
  bool stock;                // stock-in or stock-out: no trader, prices or payment
  std::vector<int> sources;  // kinds whose lines this bill's lines may take
};

const std::vector<BillKind>& billKinds() {
  static const std::vector<BillKind> kinds = {
      {"tb_pur_order", "PO", 3000, Side::Vendor, false, false, {}},
      {"tb_pur_purchase", "PC", 3100, Side::Vendor, true, false, {3000}},
      {"tb_pur_back", "PB", 3200, Side::Vendor, true, false, {3100}},
      {"tb_sal_order", "SO", 3300, Side::Client, false, false, {}},
      {"tb_sal_sale", "SA", 3400, Side::Client, true, false, {3300}},
      {"tb_sal_back", "SK", 3500, Side::Client, true, false, {3400}},
      {"tb_sto_in", "TI", 0, Side::None, false, true, {3100, 3500}},
      {"tb_sto_out", "TO", 0, Side::None, false, true, {3400, 3200}},
  };
  return kinds;
}

const BillKind& kindOfCode(int code) {
  for (const BillKind& k : billKinds())
    if (k.code == code) return k;
  throw Error("no bill kind " + std::to_string(code));
}

// The stock lines that execute a bill of this kind.
std::string stockLinesOf(const BillKind& k) {
  return k.code == 3100 || k.code == 3500 ? "tb_sto_in_d" : "tb_sto_out_d";
}

// ---- small helpers ------------------------------------------------------------------------

std::string money(long long cents) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", cents < 0 ? "-" : "", std::llabs(cents) / 100,
                std::llabs(cents) % 100);
  return buf;
}

// Quantities are kept in halves so that some are fractional.
std::string quantity(int halves) {
  return std::to_string(halves / 2) + (halves % 2 ? ".5" : "");
}

long long centsOf(const std::string& text) {
  return text.empty() ? 0 : std::llround(std::stod(text) * 100);
}

int halvesOf(const std::string& text) {
  return text.empty() ? 0 : static_cast<int>(std::lround(std::stod(text) * 2));
}

bool isTrue(const std::string& flag) {
  return equalsIgnoreCase(flag, "true");
}

void put(ClientDataSet& ds, std::string_view field, const std::string& text) {
  if (Field* f = ds.FindField(field)) f->SetAsString(text);
}

std::string get(ClientDataSet& ds, std::string_view field) {
  Field* f = ds.FindField(field);
  return f ? f->AsString() : std::string();
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines)
    out += "\n  " + l;
  return out;
}

class Rng {
 public:
  void seed(std::uint32_t s) { g_.seed(s); }
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(g_() % static_cast<std::uint32_t>(n)); }
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
  }

 private:
  std::mt19937 g_;
};

const std::filesystem::path& checkFile() {
  static const std::filesystem::path p =
      std::filesystem::path(VLT_SOURCE_DIR) / "tests/schema/check_account.sql";
  return p;
}

const std::vector<std::string>& checkStatements() {
  static const std::vector<std::string> statements = [] {
    std::ifstream in(checkFile(), std::ios::binary);
    if (!in) throw Error("cannot read " + checkFile().string());
    std::stringstream text;
    text << in.rdbuf();
    return splitSqlScript(text.str());
  }();
  return statements;
}

const char* const kMainStore = "100000000000001";
const std::vector<std::string> kStores = {kMainStore, "S2"};
const std::vector<std::string> kVendors = {"V1", "V2", "V3"};
const std::vector<std::string> kClients = {"C1", "C2", "C3"};
const std::vector<std::string> kAccounts = {"A1", "A2", "A3"};

// Every table whose rows a refused save must leave as they were.
const std::vector<std::string>& watchedTables() {
  static const std::vector<std::string> tables = [] {
    std::vector<std::string> out = {"td_trader",
                                    "td_account",
                                    "ts_traderbalancedetailflow",
                                    "ts_accountdetailflow",
                                    "tb_bal_gathering",
                                    "tb_bal_payment",
                                    "tb_acc_io"};
    for (const BillKind& k : billKinds()) {
      out.push_back(k.table);
      out.push_back(std::string(k.table) + "_d");
    }
    return out;
  }();
  return tables;
}

struct LinePlan {
  std::string goods;
  std::string unit;  // empty: none (lines taken from a source carry none)
  int halves = 2;
  long long price = 0;
  std::string relBid;
  int relBNo = 0;
  int relKind = 0;
};

struct SourceLine {
  std::string bid;
  int bno = 0;
  std::string goods;
  int halves = 0;
  long long price = 0;
};

// ---- the fixture --------------------------------------------------------------------------

class DerivedDataTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    owner = userWithSet("店主");
    set = owner.userId + "_01";
    seedBaseData();
  }

  // Base data with the statements of the edit windows; opening balances as their window saves
  // them (the opening rows exist once the trader or account does).
  void seedBaseData() {
    const char* statements[] = {
        "Insert into td_unit (Id,Name) value ('U1','个')",
        "Insert into td_unit (Id,Name) value ('U2','箱')",
        "Insert into td_unit (Id,Name) value ('U3','千克')",
        "Insert into td_store (Id,Name) value ('S2','门市仓')",
        "Insert into td_Account (Id,Name) value ('A1','现金')",
        "Insert into td_Account (Id,Name) value ('A2','银行')",
        "Insert into td_Account (Id,Name) value ('A3','微信')",
        "Insert into td_accountiotype (Id,Name,IODirect) value ('T1','利息',1)",
        "Insert into td_accountiotype (Id,Name,IODirect) value ('T2','房租',-1)",
        "Insert into td_accountiotype (Id,Name,IODirect) value ('T3','杂费',-1)",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('V1','供货商甲','','','','False')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('V2','供货商乙','','','','False')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('V3','供货商丙','','','','False')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('C1','客户甲','','','','True')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('C2','客户乙','','','','True')",
        "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
        "('C3','供货商甲','','','','True')",
        "Insert into td_goodstype (Id,Name,PId,LevelCode) value ('GT1','饮料','-1','abc')",
        "Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,"
        "SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('G1','G001','可乐','500ml','GT1','U1',"
        "'库存商品','先进先出法','',5,8,7,'False','','False')",
        "Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,PurPrice,"
        "SalPrice,WsaPrice,Pause,ReMark,ExistPic) value ('G2','G002','雪碧','500ml','GT1','U2',"
        "'库存商品','先进先出法','',10,20,15,'False','','False')",
        "INSERT INTO td_goods (Id, Code, Name, UnitID) VALUES ('G3', 'G003', '大米', 'U3')",
        "INSERT INTO td_goods (Id, Code, Name, Spec, UnitID) VALUES ('G4', 'G004', '可乐', "
        "'1L', 'U1')",
        "INSERT INTO td_goods (Id, Code, Name) VALUES ('G5', 'G005', '散装糖')",
        "UPDATE ts_traderbalancedetailflow SET IOAmount = 100 WHERE TraderID = 'V1' AND Bid = "
        "'-99'",
        "UPDATE ts_traderbalancedetailflow SET IOAmount = 50 WHERE TraderID = 'C1' AND Bid = '-99'",
        "UPDATE ts_accountdetailflow SET IOAmount = 1000 WHERE AccountID = 'A1' AND Bid = '-99'",
        "UPDATE ts_accountdetailflow SET IOAmount = 250.5 WHERE AccountID = 'A2' AND Bid = '-99'",
    };
    for (const char* sql : statements)
      ASSERT_EQ(service->doUserDBDataBySql(owner, set, sql), "0") << sql;
    goods_ = {{"G1", "U1"}, {"G2", "U2"}, {"G3", "U3"}, {"G4", "U1"}, {"G5", ""}};
  }

  Packet query(const std::string& sql) { return service->GetUserDBDataBySql(owner, set, sql); }

  std::vector<std::string> column(const std::string& sql) {
    std::vector<std::string> out;
    for (const Row& r : query(sql).rows)
      out.push_back(r[0].toText());
    return out;
  }

  std::string scalar(const std::string& sql) {
    Packet p = query(sql);
    return p.rows.empty() || p.rows[0].empty() ? std::string() : p.rows[0][0].toText();
  }

  // The FAIL rows of every statement of check_account.sql. The statements share temporary
  // tables, which client SQL may not make: they run on one administrative connection.
  std::vector<std::string> brokenInvariants() {
    if (!checker_) {
      DbEndpoint e = test::rootEndpoint();
      e.database = prefix + "_" + set;
      checker_ = Connection::open(e);
    }
    std::vector<std::string> out;
    for (const std::string& sql : checkStatements())
      for (const Row& r : checker_->query(sql).rows)
        out.push_back(r.empty() ? std::string("(empty row)") : r[0].toText());
    return out;
  }

  std::vector<std::string> snapshot() {
    std::vector<std::string> out;
    for (const std::string& t : watchedTables()) {
      for (const Row& r : query("select * from " + t + " order by 1, 2").rows) {
        std::string line = t + ":";
        for (const Value& v : r)
          line.append(" ").append(v.isNull() ? std::string("NULL") : v.toText());
        out.push_back(std::move(line));
      }
    }
    return out;
  }

  void expectUnchanged(const std::vector<std::string>& before) {
    std::vector<std::string> after = snapshot();
    if (after == before) return;
    std::vector<std::string> a = before, b = after, gone, added;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(gone));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(added));
    ADD_FAILURE() << what_ << "\na refused save changed data; rows before:" << joinLines(gone)
                  << "\nrows after:" << joinLines(added);
  }

  // The shape of a bill as the bill window holds it: master fields with the lines nested.
  const Packet& billShape(const std::string& table) {
    auto it = shapes_.find(table);
    if (it != shapes_.end()) return it->second;
    Packet master = query("select * from " + table + " where 1=0");
    if (table.rfind("tb_bal_", 0) != 0 && table != "tb_acc_io") {
      FieldDef nested;
      nested.name = table + "_d";
      nested.type = DataType::DataSet;
      nested.children = query("select * from " + table + "_d where 1=0").fields.list();
      master.fields.add(nested);
    }
    return shapes_.emplace(table, std::move(master)).first->second;
  }

  std::string nextBid() {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%015llu", 200000000000000ULL + ++bidSeq_);
    return buf;
  }

  std::string flag(bool on) {
    // The client writes the flags in either letter case.
    if (rng_.chance(15)) return on ? "true" : "false";
    return on ? "True" : "False";
  }

  std::string randomDate() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "2026-12-%02d", rng_.between(1, 28));
    return buf;
  }

  const std::vector<std::string>& tradersOf(Side side) {
    return side == Side::Client ? kClients : kVendors;
  }

  void appendLine(ClientDataSet& lines, const std::string& bid, int bno, const LinePlan& l,
                  bool autoStock) {
    lines.Append();
    put(lines, "Bid", bid);
    put(lines, "BNo", std::to_string(bno));
    put(lines, "GoodsID", l.goods);
    if (!l.unit.empty()) put(lines, "UnitID", l.unit);
    put(lines, "Qty", quantity(l.halves));
    put(lines, "Price", money(l.price));
    put(lines, "Amount", money(l.price * l.halves / 2));
    put(lines, "TaxRate", "0");
    put(lines, "Pause", "False");
    if (!l.relBid.empty()) {
      put(lines, "RelationBid", l.relBid);
      put(lines, "RelationBNo", std::to_string(l.relBNo));
      put(lines, "RelationKind", std::to_string(l.relKind));
    }
    // What the client sends for a bill that moves its stock itself.
    if (autoStock) put(lines, "doneQty", quantity(l.halves));
    lines.Post();
  }

  // Lines of bills of `code` that a new line may take; for a stock line only those of bills
  // that do not move their stock themselves (or only those that do, when asked for).
  std::vector<SourceLine> sourceLines(int code, bool forStock, bool autoStocked = false) {
    const BillKind& k = kindOfCode(code);
    const std::string t = k.table;
    std::string sql = "select d.Bid, d.BNo, d.GoodsID, d.Qty, d.Price from " + t + "_d d join " +
                      t + " m on m.Bid = d.Bid";
    if (forStock)
      sql += autoStocked ? " where UPPER(m.IsStoreIO) = 'TRUE'"
                         : " where IFNULL(UPPER(m.IsStoreIO), '') <> 'TRUE'";
    sql += " order by d.Bid, d.BNo";
    std::vector<SourceLine> out;
    for (const Row& r : query(sql).rows)
      out.push_back({r[0].toText(), static_cast<int>(r[1].toInt64()), r[2].toText(),
                     halvesOf(r[3].toText()), centsOf(r[4].toText())});
    return out;
  }

  LinePlan freshLine() {
    const auto& g = goods_[static_cast<std::size_t>(rng_.below(static_cast<int>(goods_.size())))];
    LinePlan l;
    l.goods = g.first;
    if (rng_.chance(85)) l.unit = g.second;
    l.halves = rng_.between(1, 40);
    l.price = rng_.between(50, 9999);
    return l;
  }

  LinePlan lineFor(const BillKind& k) {
    if (!k.sources.empty() && rng_.chance(55)) {
      int code = rng_.pick(k.sources);
      std::vector<SourceLine> src = sourceLines(code, k.stock);
      if (!src.empty()) {
        const SourceLine& s = rng_.pick(src);
        LinePlan l;
        l.goods = s.goods;
        l.halves = std::max(1, rng_.chance(60) ? s.halves : rng_.between(1, s.halves + 1));
        l.price = s.price;
        l.relBid = s.bid;
        l.relBNo = s.bno;
        l.relKind = code;
        return l;
      }
    }
    return freshLine();
  }

  // ---- steps ------------------------------------------------------------------------------

  std::string saveBill(const BillKind& k, ClientDataSet& master) {
    return service->SaveMasterAndDetailData(owner, set, k.table, master.GetDelta());
  }

  void expectSaved(const std::string& status) { EXPECT_EQ(status, "0") << what_; }

  void expectRefused(const std::string& status, const std::string& message,
                     const std::vector<std::string>& before) {
    ++refused_;
    EXPECT_NE(status.find(message), std::string::npos)
        << what_ << "\nexpected a refusal containing \"" << message << "\", got: " << status;
    expectUnchanged(before);
  }

  // A new bill; `extra` lines are appended after the random ones (used for refused sources).
  void newBill(const BillKind& k, const std::vector<LinePlan>& extra = {},
               const std::string& refusal = {}) {
    ClientDataSet master, lines;
    master.LoadFromPacket(billShape(k.table));
    lines.SetDataSetField(master, std::string(k.table) + "_d");
    master.Append();
    const std::string bid = nextBid();
    const std::string date = randomDate();
    what_ += std::string("new ") + k.table + " " + bid;
    put(master, "Bid", bid);
    put(master, "BDate", date);
    put(master, "BCode", service->GetBill_MaxBcode(owner, set, k.prefix, k.table, date));
    put(master, "BKind", std::to_string(k.code ? k.code : 3600));
    put(master, "BState", "1");
    if (k.side != Side::None && rng_.chance(92)) {
      put(master, "TraderID", rng_.pick(tradersOf(k.side)));
      what_ += " trader " + get(master, "TraderID");
    }
    if (!k.stock) {
      bool pay = rng_.chance(40);
      put(master, "IsPay", flag(pay));
      if (pay || rng_.chance(20)) {
        if (rng_.chance(92)) put(master, "AccountId", rng_.pick(kAccounts));
        put(master, "AccAmt", money(rng_.between(0, 50000)));
      }
      what_ += " IsPay " + get(master, "IsPay") + " " + get(master, "AccountId") + " " +
               get(master, "AccAmt");
    }
    put(master, "StoreId", rng_.pick(kStores));
    bool autoStock = k.storeIO && rng_.chance(45);
    if (k.storeIO) {
      put(master, "IsStoreIO", flag(autoStock));
      what_ += " IsStoreIO " + get(master, "IsStoreIO");
    }
    put(master, "ReMark", "随机单据");
    put(master, "CreateOp", owner.userId);
    put(master, "CreateTime", date + " 09:30:00");
    int count = rng_.chance(8) ? 0 : rng_.between(1, 4);
    int bno = 0;
    for (int i = 0; i < count; ++i) {
      LinePlan l = lineFor(k);
      appendLine(lines, bid, ++bno, l, autoStock);
      what_ += "; line " + l.goods + " x" + quantity(l.halves);
      if (!l.relBid.empty())
        what_ +=
            " from " + std::to_string(l.relKind) + " " + l.relBid + "/" + std::to_string(l.relBNo);
    }
    for (const LinePlan& l : extra) {
      appendLine(lines, bid, ++bno, l, autoStock);
      what_ += "; line " + l.goods + " from " + std::to_string(l.relKind) + " " + l.relBid + "/" +
               std::to_string(l.relBNo);
    }
    master.Post();
    if (refusal.empty()) {
      expectSavedOrSourceRefusal([&] { return saveBill(k, master); });
    } else {
      std::vector<std::string> before = snapshot();
      expectRefused(saveBill(k, master), refusal, before);
    }
  }

  bool hasStockFollowups(const BillKind& k, const std::string& bid) {
    return scalar("select count(*) from " + stockLinesOf(k) + " where RelationBid = " +
                  quotedStr(bid) + " and RelationKind = " + std::to_string(k.code)) != "0";
  }

  bool loadBill(const BillKind& k, const std::string& bid, ClientDataSet& master,
                ClientDataSet& lines) {
    const std::string t = k.table;
    auto page = service->GetMasterAndDetailData(
        owner, set, t, "select * from " + t + " where Bid=" + quotedStr(bid),
        "select * from " + t + "_d where Bid=:Bid");
    EXPECT_TRUE(page) << what_ << ": bill " << bid << " not found";
    if (!page) return false;
    master.LoadFromPacket(*page);
    lines.SetDataSetField(master, t + "_d");
    return true;
  }

  void gotoLine(ClientDataSet& lines, int index) {
    lines.First();
    lines.MoveBy(index);
  }

  // The client, saving a bill that moves its stock itself, sets every line's doneqty to its
  // quantity; when the option was switched off, back to 0.
  void clientDoneQty(ClientDataSet& lines, bool autoStock) {
    lines.First();
    while (!lines.Eof()) {
      lines.Edit();
      if (autoStock)
        lines.FieldByName("doneQty").SetValue(lines.FieldByName("Qty").AsValue());
      else
        lines.FieldByName("doneQty").SetAsString("0");
      lines.Post();
      lines.Next();
    }
  }

  void editBill(const BillKind& k) {
    std::vector<std::string> bids =
        column(std::string("select Bid from ") + k.table + " order by Bid");
    if (bids.empty()) return newBill(k);
    const std::string bid = rng_.pick(bids);
    what_ += std::string("edit ") + k.table + " " + bid;
    ClientDataSet master, lines;
    if (!loadBill(k, bid, master, lines)) return;
    int maxBNo = 0;
    for (lines.First(); !lines.Eof(); lines.Next())
      maxBNo = std::max(maxBNo, lines.FieldByName("BNo").AsInteger());
    master.Edit();
    const bool wasAuto = k.storeIO && isTrue(get(master, "IsStoreIO"));
    bool nowAuto = wasAuto;
    int changes = rng_.between(1, 3);
    for (int i = 0; i < changes; ++i) {
      switch (rng_.below(10)) {
        case 0:
          if (k.side == Side::None) break;
          if (rng_.chance(8))
            master.FieldByName("TraderID").Clear();
          else
            put(master, "TraderID", rng_.pick(tradersOf(k.side)));
          what_ += "; trader " + get(master, "TraderID");
          break;
        case 1:
          if (k.stock) break;
          if (rng_.chance(50)) put(master, "IsPay", flag(!isTrue(get(master, "IsPay"))));
          if (rng_.chance(60)) put(master, "AccAmt", money(rng_.between(0, 50000)));
          if (rng_.chance(40)) put(master, "AccountId", rng_.pick(kAccounts));
          what_ += "; pay " + get(master, "IsPay") + " " + get(master, "AccountId") + " " +
                   get(master, "AccAmt");
          break;
        case 2:
          if (!k.storeIO) break;
          nowAuto = !nowAuto;
          put(master, "IsStoreIO", flag(nowAuto));
          what_ += "; IsStoreIO " + get(master, "IsStoreIO");
          break;
        case 3: {
          if (lines.IsEmpty()) break;
          gotoLine(lines, rng_.below(lines.RecordCount()));
          int halves = rng_.between(1, 40);
          long long price = centsOf(get(lines, "Price"));
          if (!k.stock && rng_.chance(40)) price = rng_.between(50, 9999);
          lines.Edit();
          put(lines, "Qty", quantity(halves));
          put(lines, "Price", money(price));
          put(lines, "Amount", money(price * halves / 2));
          lines.Post();
          what_ += "; line " + get(lines, "BNo") + " x" + quantity(halves) + " @" + money(price);
          break;
        }
        case 4: {
          LinePlan l = lineFor(k);
          appendLine(lines, bid, ++maxBNo, l, nowAuto);
          what_ += "; add line " + std::to_string(maxBNo) + " " + l.goods;
          if (!l.relBid.empty()) what_ += " from " + l.relBid + "/" + std::to_string(l.relBNo);
          break;
        }
        case 5:
          if (lines.IsEmpty()) break;
          gotoLine(lines, rng_.below(lines.RecordCount()));
          what_ += "; delete line " + get(lines, "BNo");
          lines.Delete();
          break;
        case 6:
          if (lines.IsEmpty()) break;
          gotoLine(lines, rng_.below(lines.RecordCount()));
          lines.Edit();
          put(lines, "Pause", flag(!isTrue(get(lines, "Pause"))));
          lines.Post();
          what_ += "; line " + get(lines, "BNo") + " pause " + get(lines, "Pause");
          break;
        case 7:
          if (!master.FindField("StoreId")) break;
          put(master, "StoreId", rng_.pick(kStores));
          what_ += "; store " + get(master, "StoreId");
          break;
        case 9: {
          // A line taken from another source line, or no longer from any.
          if (lines.IsEmpty() || k.sources.empty()) break;
          gotoLine(lines, rng_.below(lines.RecordCount()));
          int code = rng_.pick(k.sources);
          std::vector<SourceLine> src = sourceLines(code, k.stock);
          lines.Edit();
          if (src.empty() || rng_.chance(20)) {
            lines.FieldByName("RelationBid").Clear();
            lines.FieldByName("RelationBNo").Clear();
            lines.FieldByName("RelationKind").Clear();
            what_ += "; line " + get(lines, "BNo") + " from no source";
          } else {
            const SourceLine& s = rng_.pick(src);
            put(lines, "GoodsID", s.goods);
            put(lines, "RelationBid", s.bid);
            put(lines, "RelationBNo", std::to_string(s.bno));
            put(lines, "RelationKind", std::to_string(code));
            what_ +=
                "; line " + get(lines, "BNo") + " now from " + s.bid + "/" + std::to_string(s.bno);
          }
          lines.Post();
          break;
        }
        default:
          put(master, "BDate", randomDate());
          put(master, "ReMark", "改过 " + std::to_string(rng_.below(1000)));
          put(master, "UpdateOP", owner.userId);
          what_ += "; date " + get(master, "BDate");
          break;
      }
    }
    if (k.storeIO && (nowAuto || wasAuto)) clientDoneQty(lines, nowAuto);
    master.Post();
    if (nowAuto && !wasAuto && hasStockFollowups(k, bid)) {
      std::vector<std::string> before = snapshot();
      expectRefused(saveBill(k, master), "该单已有出入库单执行", before);
    } else {
      expectSavedOrSourceRefusal([&] { return saveBill(k, master); });
    }
  }

  void deleteBill(const BillKind& k) {
    std::vector<std::string> bids =
        column(std::string("select Bid from ") + k.table + " order by Bid");
    if (bids.empty()) return newBill(k);
    const std::string bid = rng_.pick(bids);
    what_ += std::string("delete ") + k.table + " " + bid;
    ClientDataSet master, lines;
    if (!loadBill(k, bid, master, lines)) return;
    master.Delete();
    if (isReferenced(k, bid)) {
      std::vector<std::string> before = snapshot();
      expectRefused(saveBill(k, master), "单据已被引用", before);
    } else {
      expectSaved(saveBill(k, master));
    }
  }

  // Whether lines of later bills were taken from the bill (it cannot be deleted then).
  bool isReferenced(const BillKind& k, const std::string& bid) {
    std::vector<std::string> later;
    for (const BillKind& other : billKinds())
      if (std::find(other.sources.begin(), other.sources.end(), k.code) != other.sources.end())
        later.push_back(std::string(other.table) + "_d");
    for (const std::string& t : later)
      if (scalar("select count(*) from " + t + " where RelationBid = " + quotedStr(bid) +
                 " and RelationKind = " + std::to_string(k.code)) != "0")
        return true;
    return false;
  }

  // A save that the rules on source lines may refuse: a return line past what is still
  // returnable of its line, a line re-pointed at a source line a plain statement deleted, a
  // line that later lines were taken from deleted, re-pointed or shrunk below what they took.
  // Either it is saved, or it is refused with nothing changed.
  template <typename F>
  void expectSavedOrSourceRefusal(F&& save) {
    std::vector<std::string> before = snapshot();
    const std::string status = save();
    if (status.find("最多还可退") != std::string::npos ||
        status.find("源单明细不存在") != std::string::npos ||
        status.find("单据已被引用") != std::string::npos) {
      ++refused_;
      expectUnchanged(before);
      return;
    }
    expectSaved(status);
  }

  // Receipts (from clients) and payments (to vendors), saved as the settlement windows do.
  void newSettlement(bool receipt) {
    const std::string t = receipt ? "tb_bal_gathering" : "tb_bal_payment";
    ClientDataSet ds;
    ds.LoadFromPacket(billShape(t));
    ds.Append();
    const std::string bid = nextBid();
    const std::string date = randomDate();
    put(ds, "Bid", bid);
    put(ds, "BDate", date);
    put(ds, "BCode", service->GetBill_MaxBcode(owner, set, receipt ? "BG" : "PM", t, date));
    put(ds, "BKind", receipt ? "4000" : "4100");
    put(ds, "BState", "1");
    if (rng_.chance(92)) {
      std::string trader = rng_.pick(receipt ? kClients : kVendors);
      put(ds, "TraderID", trader);
      put(ds, "NowBalance", scalar("select Balance from td_trader where Id=" + quotedStr(trader)));
    }
    if (rng_.chance(92)) put(ds, "AccountId", rng_.pick(kAccounts));
    put(ds, "AccAmt", money(rng_.between(0, 30000)));
    if (rng_.chance(60)) put(ds, "TrimAmt", money(rng_.chance(50) ? 0 : rng_.between(1, 2000)));
    put(ds, "ReMark", "结算");
    put(ds, "CreateOp", owner.userId);
    ds.Post();
    what_ += "new " + t + " " + bid + " " + get(ds, "TraderID") + " " + get(ds, "AccountId") + " " +
             get(ds, "AccAmt") + " trim " + get(ds, "TrimAmt");
    expectSaved(service->SaveUserDBDataByDelta(owner, set, t, "bid", ds.GetDelta()));
  }

  // Loads one row of a settlement table for editing; false when there is none.
  bool loadSettlement(const std::string& t, ClientDataSet& ds) {
    std::vector<std::string> bids = column("select Bid from " + t + " order by Bid");
    if (bids.empty()) return false;
    const std::string bid = rng_.pick(bids);
    ds.LoadFromPacket(query("select * from " + t + " where Bid=" + quotedStr(bid)));
    what_ += t + " " + bid;
    return true;
  }

  void editSettlement(bool receipt) {
    const std::string t = receipt ? "tb_bal_gathering" : "tb_bal_payment";
    ClientDataSet ds;
    what_ += "edit ";
    if (!loadSettlement(t, ds)) return newSettlement(receipt);
    ds.Edit();
    if (rng_.chance(50)) put(ds, "AccAmt", money(rng_.between(0, 30000)));
    if (rng_.chance(40)) put(ds, "TrimAmt", money(rng_.between(0, 2000)));
    if (rng_.chance(30)) put(ds, "TraderID", rng_.pick(receipt ? kClients : kVendors));
    if (rng_.chance(30)) put(ds, "AccountId", rng_.pick(kAccounts));
    if (rng_.chance(10)) ds.FieldByName("AccountId").Clear();
    put(ds, "UpdateOP", owner.userId);
    ds.Post();
    what_ += ": " + get(ds, "TraderID") + " " + get(ds, "AccountId") + " " + get(ds, "AccAmt") +
             " trim " + get(ds, "TrimAmt");
    expectSaved(service->SaveUserDBDataByDelta(owner, set, t, "bid", ds.GetDelta()));
  }

  void deleteSettlement(bool receipt) {
    const std::string t = receipt ? "tb_bal_gathering" : "tb_bal_payment";
    ClientDataSet ds;
    what_ += "delete ";
    if (!loadSettlement(t, ds)) return newSettlement(receipt);
    ds.Delete();
    expectSaved(service->SaveUserDBDataByDelta(owner, set, t, "bid", ds.GetDelta()));
  }

  void accountIo(int action) {
    ClientDataSet ds;
    if (action == 0 || !loadSettlement("tb_acc_io", ds)) {
      ds.LoadFromPacket(billShape("tb_acc_io"));
      ds.Append();
      bool income = rng_.chance(40);
      put(ds, "Bid", nextBid());
      put(ds, "BDate", randomDate());
      put(ds, "BIoDirect", income ? "1" : "-1");
      put(ds, "AccIoTypeID", income ? "T1" : (rng_.chance(50) ? "T2" : "T3"));
      if (rng_.chance(92)) put(ds, "AccountId", rng_.pick(kAccounts));
      put(ds, "AccAmt", money(rng_.between(0, 20000)));
      put(ds, "ReMark", income ? "利息收入" : "费用");
      put(ds, "CreateOp", owner.userId);
      ds.Post();
      what_ += "new tb_acc_io " + get(ds, "Bid") + " " + get(ds, "BIoDirect") + " " +
               get(ds, "AccountId") + " " + get(ds, "AccAmt");
    } else if (action == 1) {
      ds.Edit();
      if (rng_.chance(60)) put(ds, "AccAmt", money(rng_.between(0, 20000)));
      if (rng_.chance(40)) put(ds, "AccountId", rng_.pick(kAccounts));
      if (rng_.chance(25)) {
        bool income = ds.FieldByName("BIoDirect").AsInteger() != 1;
        put(ds, "BIoDirect", income ? "1" : "-1");
        put(ds, "AccIoTypeID", income ? "T1" : "T2");
      }
      ds.Post();
      what_ +=
          " edited: " + get(ds, "BIoDirect") + " " + get(ds, "AccountId") + " " + get(ds, "AccAmt");
    } else {
      ds.Delete();
      what_ += " deleted";
    }
    expectSaved(service->SaveUserDBDataByDelta(owner, set, "tb_acc_io", "bid", ds.GetDelta()));
  }

  // Statements the client sends as plain SQL.
  void plainStatement() {
    std::string sql;
    switch (rng_.below(8)) {
      case 0:
        sql = "UPDATE ts_traderbalancedetailflow SET IOAmount = " + money(rng_.between(0, 30000)) +
              " WHERE TraderID = " + quotedStr(rng_.pick(rng_.chance(50) ? kVendors : kClients)) +
              " AND Bid = '-99'";
        break;
      case 1:
        sql = "UPDATE ts_accountdetailflow SET IOAmount = " + money(rng_.between(0, 300000)) +
              " WHERE AccountID = " + quotedStr(rng_.pick(kAccounts)) + " AND Bid = '-99'";
        break;
      case 2: {
        // The client's after-save statement; it only stands when the rule says so.
        const BillKind& k = billKinds()[static_cast<std::size_t>(rng_.below(6))];
        std::vector<std::string> bids =
            column(std::string("select Bid from ") + k.table + " order by Bid");
        if (bids.empty()) return plainStatement();
        sql = std::string("update ") + k.table +
              " set finished='True' where bid=" + quotedStr(rng_.pick(bids));
        break;
      }
      case 3:
        sql = "update td_Trader set Balance=999, Tel='" + std::to_string(rng_.below(1000)) +
              "' where Id=" + quotedStr(rng_.pick(kVendors));
        break;
      case 4: {
        // A line changed by a plain statement.
        const BillKind& k = billKinds()[static_cast<std::size_t>(rng_.below(8))];
        Packet p = query(std::string("select Bid, BNo from ") + k.table + "_d order by Bid, BNo");
        if (p.rows.empty()) return plainStatement();
        const Row& r =
            p.rows[static_cast<std::size_t>(rng_.below(static_cast<int>(p.rows.size())))];
        // A trade line's doneQty written by the client is replaced by the derived one.
        const std::string qty = quantity(rng_.between(1, 40));
        sql = std::string("UPDATE ") + k.table + "_d SET Qty = " + qty +
              (k.stock ? "" : ", Amount = Price * " + qty + ", doneQty = 77") +
              " WHERE Bid = " + quotedStr(r[0].toText()) + " AND BNo = " + r[1].toText();
        break;
      }
      case 5: {
        const BillKind& k = billKinds()[static_cast<std::size_t>(rng_.below(8))];
        Packet p = query(std::string("select Bid, BNo from ") + k.table + "_d order by Bid, BNo");
        if (p.rows.empty()) return plainStatement();
        const Row& r =
            p.rows[static_cast<std::size_t>(rng_.below(static_cast<int>(p.rows.size())))];
        sql = std::string("DELETE FROM ") + k.table + "_d WHERE Bid = " + quotedStr(r[0].toText()) +
              " AND BNo = " + r[1].toText();
        break;
      }
      case 6: {
        // A trader made and removed again before any business: its opening row goes with it.
        std::string id = "N" + std::to_string(++bidSeq_);
        sql = "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value (" +
              quotedStr(id) + ",'临时" + id + "','','','','True')";
        what_ += sql + "; ";
        expectSaved(service->doUserDBDataBySql(owner, set, sql));
        sql = "delete from td_Trader where ID=" + quotedStr(id);
        break;
      }
      default: {
        std::vector<std::string> bids = column("select Bid from tb_acc_io order by Bid");
        if (bids.empty()) return plainStatement();
        sql = "Update tb_acc_io set AccAmt=" + money(rng_.between(0, 20000)) +
              ",AccountId=" + quotedStr(rng_.pick(kAccounts)) + ",UpdateOP='" + owner.userId +
              "' where BID=" + quotedStr(rng_.pick(bids));
        break;
      }
    }
    what_ += sql;
    expectSavedOrSourceRefusal([&] { return service->doUserDBDataBySql(owner, set, sql); });
  }

  // Steps the schema refuses on purpose; each must leave everything as it was.
  void refusedStep() {
    switch (rng_.below(7)) {
      case 0: {
        // A stock line may not execute a bill that moved its stock itself.
        bool in = rng_.chance(50);
        int code = in ? (rng_.chance(50) ? 3100 : 3500) : (rng_.chance(50) ? 3400 : 3200);
        std::vector<SourceLine> src = sourceLines(code, true, true);
        if (src.empty()) break;
        const SourceLine& s = rng_.pick(src);
        what_ += "refused: ";
        return newBill(billKinds()[in ? 6 : 7], {{s.goods, "", 2, 0, s.bid, s.bno, code}},
                       "源单已自动出入库");
      }
      case 1: {
        // A stock-in line may only execute a purchase or sales return (and stock-out the others).
        bool in = rng_.chance(50);
        int code = in ? (rng_.chance(50) ? 3400 : 3000) : (rng_.chance(50) ? 3100 : 3300);
        std::vector<SourceLine> src = sourceLines(code, false);
        if (src.empty()) break;
        const SourceLine& s = rng_.pick(src);
        what_ += "refused: ";
        return newBill(billKinds()[in ? 6 : 7], {{s.goods, "", 2, 0, s.bid, s.bno, code}},
                       "源单类型不正确");
      }
      case 2: {
        // A bill already executed by stock lines cannot be switched to move its stock itself.
        Packet p = query(
            "select 3100, m.Bid from tb_pur_purchase m where UPPER(m.IsStoreIO) <> 'TRUE' and "
            "exists (select 1 from tb_sto_in_d s where s.RelationBid = m.Bid and s.RelationKind "
            "= 3100) union all select 3400, m.Bid from tb_sal_sale m where UPPER(m.IsStoreIO) <> "
            "'TRUE' and exists (select 1 from tb_sto_out_d s where s.RelationBid = m.Bid and "
            "s.RelationKind = 3400) order by 2");
        if (p.rows.empty()) break;
        const Row& r =
            p.rows[static_cast<std::size_t>(rng_.below(static_cast<int>(p.rows.size())))];
        const BillKind& k = kindOfCode(static_cast<int>(r[0].toInt64()));
        what_ += std::string("refused: switch ") + k.table + " " + r[1].toText() + " to auto";
        ClientDataSet master, lines;
        if (!loadBill(k, r[1].toText(), master, lines)) return;
        master.Edit();
        put(master, "IsStoreIO", flag(true));
        clientDoneQty(lines, true);
        master.Post();
        std::vector<std::string> before = snapshot();
        return expectRefused(saveBill(k, master), "该单已有出入库单执行", before);
      }
      case 3: {
        std::vector<std::string> busy = column(
            "select distinct TraderID from tb_pur_purchase where TraderID is not null union "
            "select TraderID from tb_sal_order where TraderID is not null order by 1");
        if (busy.empty()) break;
        return refusedStatement("delete from td_Trader where ID=" + quotedStr(rng_.pick(busy)),
                                "该往来单位已有业务发生");
      }
      case 4: {
        std::vector<std::string> busy = column(
            "select distinct AccountId from tb_acc_io where AccountId is not null union "
            "select AccountId from tb_bal_payment where AccountId is not null order by 1");
        if (busy.empty()) break;
        return refusedStatement("delete from td_Account where ID=" + quotedStr(rng_.pick(busy)),
                                "该帐户已有收支发生");
      }
      case 5: {
        const BillKind& k = billKinds()[static_cast<std::size_t>(rng_.below(8))];
        std::vector<std::string> bids =
            column(std::string("select Bid from ") + k.table + " order by Bid");
        if (bids.empty()) break;
        return refusedStatement(std::string("update ") + k.table + " set Bid='X" +
                                    std::to_string(++bidSeq_) +
                                    "' where Bid=" + quotedStr(rng_.pick(bids)),
                                "单据ID不允许修改");
      }
      default: {
        // Someone else changed the bill since it was read: the whole save is refused.
        const BillKind& k = billKinds()[static_cast<std::size_t>(rng_.below(6))];
        std::vector<std::string> bids =
            column(std::string("select Bid from ") + k.table + " order by Bid");
        if (bids.empty()) break;
        const std::string bid = rng_.pick(bids);
        ClientDataSet master, lines;
        what_ += std::string("refused: stale edit of ") + k.table + " " + bid;
        if (!loadBill(k, bid, master, lines)) return;
        int maxBNo = 0;
        for (lines.First(); !lines.Eof(); lines.Next())
          maxBNo = std::max(maxBNo, lines.FieldByName("BNo").AsInteger());
        EXPECT_EQ(service->doUserDBDataBySql(
                      owner, set,
                      std::string("update ") + k.table + " set ReMark='别人改的 " +
                          std::to_string(++bidSeq_) + "' where Bid=" + quotedStr(bid)),
                  "0");
        master.Edit();
        put(master, "ReMark", "我改的");
        put(master, "AccAmt", money(rng_.between(0, 50000)));
        if (!lines.IsEmpty()) {
          lines.First();
          lines.Delete();
        }
        appendLine(lines, bid, maxBNo + 1, freshLine(), false);
        master.Post();
        std::vector<std::string> before = snapshot();
        return expectRefused(saveBill(k, master), "其他用户", before);
      }
    }
    what_ += "(nothing to refuse yet) ";
    newBill(rng_.pick(billKinds()));
  }

  void refusedStatement(const std::string& sql, const std::string& message) {
    what_ += "refused: " + sql;
    std::vector<std::string> before = snapshot();
    expectRefused(service->doUserDBDataBySql(owner, set, sql), message, before);
  }

  void randomStep() {
    int roll = rng_.below(100);
    const BillKind& k = rng_.pick(billKinds());
    if (roll < 30) return newBill(k);
    if (roll < 54) return editBill(k);
    if (roll < 60) return deleteBill(k);
    if (roll < 68) return newSettlement(rng_.chance(50));
    if (roll < 72) return editSettlement(rng_.chance(50));
    if (roll < 74) return deleteSettlement(rng_.chance(50));
    if (roll < 80) return accountIo(rng_.below(3));
    if (roll < 88) return plainStatement();
    return refusedStep();
  }

  Caller owner;
  std::string set;
  Rng rng_;
  std::string what_;  // the step being run, for failure messages
  int refused_ = 0;

 private:
  std::map<std::string, Packet> shapes_;
  std::vector<std::pair<std::string, std::string>> goods_;  // id, unit
  std::unique_ptr<Connection> checker_;
  unsigned long long bidSeq_ = 0;
};

// ---- the random walk ----------------------------------------------------------------------

struct WalkCase {
  std::uint32_t seed;
  int steps;
  int checkEvery;
};

void PrintTo(const WalkCase& w, std::ostream* os) {
  *os << "seed " << w.seed << ", " << w.steps << " steps, checked every " << w.checkEvery;
}

class RandomWalkTest : public DerivedDataTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(RandomWalkTest, DerivedDataHoldsThroughoutTheWalk) {
  const WalkCase& w = GetParam();
  ASSERT_TRUE(std::filesystem::exists(checkFile())) << checkFile();
  ASSERT_GT(checkStatements().size(), 20u);
  rng_.seed(w.seed);
  for (int step = 1; step <= w.steps; ++step) {
    what_ = "seed " + std::to_string(w.seed) + " step " + std::to_string(step) + ": ";
    randomStep();
    if (HasFatalFailure()) return;
    if (step % w.checkEvery == 0 || step == w.steps) {
      std::vector<std::string> broken = brokenInvariants();
      ASSERT_TRUE(broken.empty()) << what_ << "\nbroken invariants:" << joinLines(broken);
    }
  }
  // The walk reached the interesting states: bills executing others, stock moved both ways,
  // and refusals.
  EXPECT_GT(refused_, 0);
  EXPECT_NE(scalar("select (select count(*) from tb_sto_in_d where RelationBid is not null) + "
                   "(select count(*) from tb_sto_out_d where RelationBid is not null)"),
            "0");
  EXPECT_NE(scalar("select count(*) from view_storebillflow"), "0");
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomWalkTest,
                         ::testing::Values(WalkCase{20261208, 70, 1}, WalkCase{7, 70, 1},
                                           WalkCase{4242, 70, 1}),
                         [](const ::testing::TestParamInfo<WalkCase>& row) {
                           return "seed" + std::to_string(row.param.seed);
                         });

// ---- IsStoreIO switched and switched back -------------------------------------------------

TEST_F(DerivedDataTest, SwitchingAutoStockRewritesDoneQtyAndIsNotStale) {
  for (int code : {3100, 3200, 3400, 3500}) {
    const BillKind& k = kindOfCode(code);
    SCOPED_TRACE(k.table);
    const std::string t = k.table;
    ClientDataSet master, lines;
    master.LoadFromPacket(billShape(t));
    lines.SetDataSetField(master, t + "_d");
    master.Append();
    const std::string bid = nextBid();
    put(master, "Bid", bid);
    put(master, "BDate", "2026-12-08");
    put(master, "BCode", service->GetBill_MaxBcode(owner, set, k.prefix, t, "2026-12-08"));
    put(master, "TraderID", k.side == Side::Client ? "C2" : "V2");
    put(master, "IsPay", "False");
    put(master, "IsStoreIO", "True");
    appendLine(lines, bid, 1, {"G1", "U1", 6, 500, "", 0, 0}, true);
    appendLine(lines, bid, 2, {"G2", "", 5, 1250, "", 0, 0}, true);
    master.Post();
    ASSERT_EQ(saveBill(k, master), "0");
    const std::string lineCheck =
        "select group_concat(doneQty order by BNo) from " + t + "_d where Bid=" + quotedStr(bid);
    const std::string finished = "select Finished from " + t + " where Bid=" + quotedStr(bid);
    const std::string stocked =
        "select count(*) from view_storebillflow where bid=" + quotedStr(bid);
    EXPECT_EQ(scalar(lineCheck), "3.0000,2.5000");
    EXPECT_EQ(scalar(finished), "True");
    EXPECT_EQ(scalar(stocked), "2");

    // Off (the client sets every line's doneqty to 0), then on again (doneqty := qty): the
    // triggers rewrite doneQty in the master's update, yet neither save is refused as stale.
    for (const char* value : {"False", "True"}) {
      SCOPED_TRACE(value);
      ClientDataSet m, l;
      auto page = service->GetMasterAndDetailData(
          owner, set, t, "select * from " + t + " where Bid=" + quotedStr(bid),
          "select * from " + t + "_d where Bid=:Bid");
      ASSERT_TRUE(page);
      m.LoadFromPacket(*page);
      l.SetDataSetField(m, t + "_d");
      m.Edit();
      put(m, "IsStoreIO", value);
      clientDoneQty(l, isTrue(value));
      m.Post();
      ASSERT_EQ(saveBill(k, m), "0");
      bool on = isTrue(value);
      EXPECT_EQ(scalar(lineCheck), on ? "3.0000,2.5000" : "0.0000,0.0000");
      EXPECT_EQ(scalar(finished), on ? "True" : "False");
      EXPECT_EQ(scalar(stocked), on ? "2" : "0");
    }
  }
  std::vector<std::string> broken = brokenInvariants();
  EXPECT_TRUE(broken.empty()) << joinLines(broken);
}

// ---- the recomputation itself --------------------------------------------------------------

// Each row breaks one derived value behind the triggers' back (as only a trigger may) and puts
// it back: the check statements, run through the service, must name it. A walk therefore cannot
// pass because nothing was checked.
TEST_F(DerivedDataTest, TheRecomputationSeesBrokenDerivedData) {
  const char* bills[] = {
      "INSERT INTO tb_pur_order (Bid, BDate, BCode, TraderID) VALUES ('PO1', '2026-12-08', "
      "'PO202612080001', 'V1')",
      "INSERT INTO tb_pur_order_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('PO1', 1, 'G1', "
      "4, 5, 20)",
      "INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsStoreIO) VALUES ('PC1', "
      "'2026-12-08', 'PC202612080001', 'V1', 'False')",
      "INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount, RelationBid, "
      "RelationBNo, RelationKind) VALUES ('PC1', 1, 'G1', 3, 5, 15, 'PO1', 1, 3000)",
  };
  for (const char* sql : bills)
    ASSERT_EQ(service->doUserDBDataBySql(owner, set, sql), "0") << sql;
  std::vector<std::string> clean = brokenInvariants();
  ASSERT_TRUE(clean.empty()) << joinLines(clean);

  struct Breakage {
    const char* change;
    const char* undo;
    const char* expected;
  };
  const Breakage rows[] = {
      {"UPDATE td_trader SET Balance = Balance + 1 WHERE Id = 'V1'",
       "UPDATE td_trader SET Balance = Balance - 1 WHERE Id = 'V1'", "FAIL: trader V1 Balance"},
      {"UPDATE td_account SET Balance = Balance - 1 WHERE Id = 'A2'",
       "UPDATE td_account SET Balance = Balance + 1 WHERE Id = 'A2'", "FAIL: account A2 Balance"},
      {"UPDATE tb_pur_order_d SET doneQty = 4 WHERE Bid = 'PO1'",
       "UPDATE tb_pur_order_d SET doneQty = 3 WHERE Bid = 'PO1'",
       "FAIL: tb_pur_order_d PO1/1 doneQty"},
      {"UPDATE tb_pur_purchase_d SET doneQty = 3 WHERE Bid = 'PC1'",
       "UPDATE tb_pur_purchase_d SET doneQty = 0 WHERE Bid = 'PC1'",
       "FAIL: tb_pur_purchase_d PC1/1 doneQty"},
      {"UPDATE ts_traderbalancedetailflow SET IOAmount = IOAmount + 1 WHERE Bid = 'PC1'",
       "UPDATE ts_traderbalancedetailflow SET IOAmount = IOAmount - 1 WHERE Bid = 'PC1'",
       "FAIL: trader movement missing or wrong for tb_pur_purchase PC1 part 1"},
  };
  DbEndpoint e = test::rootEndpoint();
  e.database = prefix + "_" + set;
  auto admin = Connection::open(e);
  admin->execute("SET @vlt_derived_write = 1");
  for (const Breakage& b : rows) {
    SCOPED_TRACE(b.change);
    admin->execute(b.change);
    std::vector<std::string> broken = brokenInvariants();
    EXPECT_TRUE(std::any_of(broken.begin(), broken.end(), [&](const std::string& r) {
      return r.find(b.expected) == 0;
    })) << joinLines(broken);
    admin->execute(b.undo);
    broken = brokenInvariants();
    EXPECT_TRUE(broken.empty()) << joinLines(broken);
  }
}

// ---- a save retried after a deadlock --------------------------------------------------------

// The service retries a save that lost a deadlock on the same pooled connection. The retry, and
// every later statement on that connection, must run with the triggers' session state clean.
TEST_F(DerivedDataTest, ASaveRetriedAfterADeadlockKeepsDerivingDoneQty) {
  for (const char* sql :
       {"INSERT INTO tb_pur_purchase (Bid, BDate, BCode, TraderID, IsStoreIO) VALUES ('P1', "
        "'2026-12-08', 'PC202612080001', 'V1', 'True')",
        "INSERT INTO tb_pur_purchase_d (Bid, BNo, GoodsID, Qty, Price, Amount) VALUES ('P1', 1, "
        "'G1', 1, 5, 5)"})
    ASSERT_EQ(service->doUserDBDataBySql(owner, set, sql), "0") << sql;
  ClientDataSet master, lines;
  ASSERT_TRUE(loadBill(kindOfCode(3100), "P1", master, lines));
  master.Edit();
  lines.First();
  lines.Edit();
  put(lines, "Qty", "2");
  put(lines, "Amount", "10");
  put(lines, "doneQty", "2");
  lines.Post();
  master.Post();
  const Delta delta = master.GetDelta();

  // Another writer holds the trader row and has changed many rows, so that the save is the
  // cheaper transaction to roll back when the two deadlock.
  DbEndpoint e = test::rootEndpoint();
  e.database = prefix + "_" + set;
  auto other = Connection::open(e);
  other->begin();
  for (int i = 0; i < 200; ++i)
    other->execute("INSERT INTO ts_userpower (UserID, ModuleID) VALUES (1, 'M" + std::to_string(i) +
                   "')");
  other->execute("UPDATE td_trader SET Tel = 'busy' WHERE Id = 'V1'");
  std::string status;
  std::thread save(
      [&] { status = service->SaveMasterAndDetailData(owner, set, "tb_pur_purchase", delta); });
  // The save waits for the trader row, holding the bill P1.
  auto watch = Connection::open(e);
  const std::string waiting =
      "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE 'UPDATE td_trader SET "
      "Balance%'";
  for (int i = 0; i < 500 && watch->scalar(waiting) != "1"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  bool otherWon = true;
  try {
    other->execute("SELECT Bid FROM tb_pur_purchase WHERE Bid = 'P1' FOR UPDATE");
  } catch (const DbError& err) {
    otherWon = false;
    ADD_FAILURE() << "the other writer lost the deadlock: " << err.what();
  }
  other->rollback();
  save.join();
  ASSERT_TRUE(otherWon);
  EXPECT_EQ(status, "0");
  EXPECT_EQ(scalar("select doneQty from tb_pur_purchase_d where Bid = 'P1'"), "2");
  // A balance written by a client is put back, also on the connection that lost the deadlock.
  EXPECT_EQ(
      service->doUserDBDataBySql(owner, set, "update td_Trader set Balance=999 where Id='V1'"),
      "0");
  EXPECT_EQ(scalar("select Balance from td_trader where Id = 'V1'"), "110");
  std::vector<std::string> broken = brokenInvariants();
  EXPECT_TRUE(broken.empty()) << joinLines(broken);
}

// ---- parallel saves of one trader ---------------------------------------------------------

class ParallelSavesTest : public DerivedDataTest, public ::testing::WithParamInterface<bool> {};

// Four callers of one owner save purchases, payments and edits of the same vendor at once; the
// purchases move their stock themselves or not (the parameter).
TEST_P(ParallelSavesTest, SavesOfOneTraderLoseNoIncrement) {
  const bool autoStock = GetParam();
  constexpr int kThreads = 4;
  constexpr int kRounds = 6;
  const Packet purchaseShape = billShape("tb_pur_purchase");
  const Packet paymentShape = billShape("tb_bal_payment");
  long long traderCents = 10000;    // V1's opening balance
  long long accountCents = 100000;  // A1's opening balance
  // Every bill planned up front, so the expected balances do not depend on the interleaving.
  struct Purchase {
    std::string bid, code;
    long long price;
    int qty;
    bool pay;
  };
  std::vector<std::vector<Purchase>> purchases(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    for (int j = 0; j < kRounds; ++j) {
      char code[24];
      std::snprintf(code, sizeof code, "PC20261208%02d%02d", t, j);
      Purchase p{nextBid(), code, 1000 + 100 * t + j, 1 + (t + j) % 5, j % 3 == 0};
      // Two lines of qty and qty+1 here, then line 1 raised by one in the edit below.
      traderCents += p.price * (p.qty + p.qty + 1);
      if (p.pay) {
        traderCents -= 500;
        accountCents -= 500;
      }
      // The payment of the round: 3.00 plus t cents, 0.50 written off.
      traderCents -= (300 + t) + 50;
      accountCents -= 300 + t;
      traderCents += p.price;  // the edit
      purchases[static_cast<std::size_t>(t)].push_back(p);
    }
  }

  std::vector<std::vector<std::string>> statuses(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Caller c{owner.userId, "10.0.0." + std::to_string(t + 1)};
      auto& out = statuses[static_cast<std::size_t>(t)];
      try {
        for (int j = 0; j < kRounds; ++j) {
          const Purchase& p = purchases[static_cast<std::size_t>(t)][static_cast<std::size_t>(j)];
          ClientDataSet master, lines;
          master.LoadFromPacket(purchaseShape);
          lines.SetDataSetField(master, "tb_pur_purchase_d");
          master.Append();
          put(master, "Bid", p.bid);
          put(master, "BDate", "2026-12-08");
          put(master, "BCode", p.code);
          put(master, "TraderID", "V1");
          put(master, "IsPay", p.pay ? "True" : "False");
          put(master, "AccountId", "A1");
          put(master, "AccAmt", money(p.pay ? 500 : 0));
          put(master, "IsStoreIO", autoStock ? "True" : "False");
          for (int bno = 1; bno <= 2; ++bno) {
            lines.Append();
            put(lines, "Bid", p.bid);
            put(lines, "BNo", std::to_string(bno));
            put(lines, "GoodsID", bno == 1 ? "G1" : "G2");
            int qty = p.qty + bno - 1;
            put(lines, "Qty", std::to_string(qty));
            put(lines, "Price", money(p.price));
            put(lines, "Amount", money(p.price * qty));
            lines.Post();
          }
          master.Post();
          out.push_back(
              service->SaveMasterAndDetailData(c, set, "tb_pur_purchase", master.GetDelta()));

          ClientDataSet pay;
          pay.LoadFromPacket(paymentShape);
          pay.Append();
          put(pay, "Bid", "P" + p.bid.substr(1));
          put(pay, "BDate", "2026-12-08");
          put(pay, "BCode", "PM" + p.code.substr(2));
          put(pay, "TraderID", "V1");
          put(pay, "AccountId", "A1");
          put(pay, "AccAmt", money(300 + t));
          put(pay, "TrimAmt", "0.50");
          pay.Post();
          out.push_back(
              service->SaveUserDBDataByDelta(c, set, "tb_bal_payment", "bid", pay.GetDelta()));

          // The bill reopened and its first line raised by one.
          auto page = service->GetMasterAndDetailData(
              c, set, "tb_pur_purchase",
              "select * from tb_pur_purchase where Bid=" + quotedStr(p.bid),
              "select * from tb_pur_purchase_d where Bid=:Bid");
          if (!page) {
            out.push_back("bill " + p.bid + " not found");
            continue;
          }
          ClientDataSet m, l;
          m.LoadFromPacket(*page);
          l.SetDataSetField(m, "tb_pur_purchase_d");
          m.Edit();
          l.First();
          l.Edit();
          put(l, "Qty", std::to_string(p.qty + 1));
          put(l, "Amount", money(p.price * (p.qty + 1)));
          if (autoStock) put(l, "doneQty", std::to_string(p.qty + 1));
          l.Post();
          m.Post();
          out.push_back(service->SaveMasterAndDetailData(c, set, "tb_pur_purchase", m.GetDelta()));
        }
      } catch (const std::exception& e) {
        out.push_back(std::string("exception: ") + e.what());
      }
    });
  }
  for (std::thread& th : threads)
    th.join();
  for (int t = 0; t < kThreads; ++t)
    for (const std::string& s : statuses[static_cast<std::size_t>(t)])
      EXPECT_EQ(s, "0") << "thread " << t;

  EXPECT_EQ(centsOf(scalar("select Balance from td_trader where Id='V1'")), traderCents);
  EXPECT_EQ(centsOf(scalar("select Balance from td_account where Id='A1'")), accountCents);
  EXPECT_EQ(scalar("select count(*) from tb_pur_purchase"), std::to_string(kThreads * kRounds));
  std::vector<std::string> broken = brokenInvariants();
  EXPECT_TRUE(broken.empty()) << joinLines(broken);
}

INSTANTIATE_TEST_SUITE_P(StockMode, ParallelSavesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& row) {
                           return row.param ? "AutoStocked" : "StockedLater";
                         });

}  // namespace
}  // namespace vlt::server
