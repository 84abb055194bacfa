// Goods bills through the data service as the bill windows save them: bill codes when clerks
// save at once, bills that later bills refer to, what is still returnable, stock on hand for
// the lines of a bill, exact decimals.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <thread>
#include <tuple>

#include "service_fixture.h"
#include "vlt/dataset.h"
#include "vlt/sqltext.h"

namespace vlt::server {
namespace {

struct Bill {
  const char* table;
  const char* prefix;
  int kind;         // RelationKind of lines taken from it
  bool hasTrader;   // stock bills have none
  bool settlement;  // saved as a single-table delta
};

const Bill kBills[] = {
    {"tb_pur_order", "PO", 3000, true, false}, {"tb_pur_purchase", "PC", 3100, true, false},
    {"tb_pur_back", "PB", 3200, true, false},  {"tb_sal_order", "SO", 3300, true, false},
    {"tb_sal_sale", "SA", 3400, true, false},  {"tb_sal_back", "SK", 3500, true, false},
    {"tb_sto_in", "TI", 0, false, false},      {"tb_sto_out", "TO", 0, false, false},
    {"tb_bal_gathering", "BG", 0, true, true}, {"tb_bal_payment", "PM", 0, true, true},
};

const Bill& bill(const std::string& table) {
  for (const Bill& b : kBills)
    if (table == b.table) return b;
  throw Error("no bill " + table);
}

struct LineSpec {
  LineSpec(std::string g = "G1", std::string q = "1", std::string p = "1", std::string rb = {},
           int rn = 0, int rk = 0)
      : goods(std::move(g)),
        qty(std::move(q)),
        price(std::move(p)),
        relBid(std::move(rb)),
        relBNo(rn),
        relKind(rk) {}
  std::string goods, qty, price;
  std::string relBid;  // the source line, if any
  int relBNo;
  int relKind;
};

class BillServiceTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    owner = userWithSet("店主");
    set = owner.userId + "_01";
    for (const char* sql : {
             "Insert into td_store (Id,Name) value ('S2','门市仓')",
             "Insert into td_Account (Id,Name) value ('A1','现金')",
             "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
             "('V1','供货商甲','','','','False')",
             "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value "
             "('C1','客户甲','','','','True')",
             "INSERT INTO td_goods (Id, Code, Name) VALUES ('G1', 'G001', '可乐')",
             "INSERT INTO td_goods (Id, Code, Name) VALUES ('G2', 'G002', '雪碧')",
             "INSERT INTO td_goods (Id, Code, Name) VALUES ('G3', 'G003', '大米')",
         })
      ASSERT_EQ(service->doUserDBDataBySql(owner, set, sql), "0") << sql;
  }

  Packet query(const std::string& sql) { return service->GetUserDBDataBySql(owner, set, sql); }

  std::string scalar(const std::string& sql) {
    Packet p = query(sql);
    return p.rows.empty() ? std::string() : p.rows[0][0].toText();
  }

  std::string nextBid() { return std::to_string(300000000000000ULL + ++bidSeq_); }

  // A new bill as its window sends it: the master with its lines nested, the code the service
  // gave for the day. Returns the save's status; `bid` receives the bill's id.
  std::string saveNewBill(const std::string& table, const std::vector<LineSpec>& lines,
                          std::string* bid = nullptr, bool autoStock = false,
                          const std::string& code = {}, const Caller* who = nullptr) {
    const Bill& b = bill(table);
    Packet shape = query("select * from " + table + " where 1=0");
    ClientDataSet master, detail;
    if (!b.settlement) {
      FieldDef nested;
      nested.name = table + "_d";
      nested.type = DataType::DataSet;
      nested.children = query("select * from " + table + "_d where 1=0").fields.list();
      shape.fields.add(nested);
    }
    master.LoadFromPacket(shape);
    if (!b.settlement) detail.SetDataSetField(master, table + "_d");
    const std::string id = nextBid();
    if (bid) *bid = id;
    master.Append();
    master.FieldByName("Bid").SetAsString(id);
    master.FieldByName("BDate").SetAsString("2026-12-08");
    master.FieldByName("BCode").SetAsString(
        code.empty() ? service->GetBill_MaxBcode(owner, set, b.prefix, table, "2026-12-08") : code);
    if (b.hasTrader)
      master.FieldByName("TraderID")
          .SetAsString(table.find("_sal_") != std::string::npos || table == "tb_bal_gathering"
                           ? "C1"
                           : "V1");
    if (Field* f = master.FindField("IsStoreIO")) f->SetAsString(autoStock ? "True" : "False");
    if (Field* f = master.FindField("StoreId")) f->SetAsString("100000000000001");
    if (Field* f = master.FindField("AccAmt")) f->SetAsString("0");
    int bno = 0;
    for (const LineSpec& l : b.settlement ? std::vector<LineSpec>{} : lines) {
      detail.Append();
      detail.FieldByName("Bid").SetAsString(id);
      detail.FieldByName("BNo").SetAsString(std::to_string(++bno));
      detail.FieldByName("GoodsID").SetAsString(l.goods);
      detail.FieldByName("Qty").SetAsString(l.qty);
      if (Field* f = detail.FindField("Price")) f->SetAsString(l.price);
      if (Field* f = detail.FindField("Amount"))
        f->SetValue(Value(Decimal::parse(l.qty) * Decimal::parse(l.price)));
      if (Field* f = detail.FindField("Pause")) f->SetAsString("False");
      if (!l.relBid.empty()) {
        detail.FieldByName("RelationBid").SetAsString(l.relBid);
        detail.FieldByName("RelationBNo").SetAsString(std::to_string(l.relBNo));
        detail.FieldByName("RelationKind").SetAsString(std::to_string(l.relKind));
      }
      if (autoStock) detail.FieldByName("doneQty").SetAsString(l.qty);
      detail.Post();
    }
    master.Post();
    const Caller& c = who ? *who : owner;
    if (b.settlement)
      return service->SaveUserDBDataByDelta(c, set, table, "bid", master.GetDelta());
    return service->SaveMasterAndDetailData(c, set, table, master.GetDelta());
  }

  std::string deleteBill(const std::string& table, const std::string& bid) {
    auto page = service->GetMasterAndDetailData(
        owner, set, table, "select * from " + table + " where Bid=" + quotedStr(bid),
        "select * from " + table + "_d where Bid=:bid");
    if (!page) return "no such bill";
    ClientDataSet master;
    master.LoadFromPacket(*page);
    master.Delete();
    return service->SaveMasterAndDetailData(owner, set, table, master.GetDelta());
  }

  std::string updateLineQty(const std::string& table, const std::string& bid, int bno,
                            const std::string& qty) {
    return changeLine(table, bid, bno, "Qty", qty);
  }

  // Changes one field of line `bno` (an empty field name deletes the line) and saves the bill
  // as its window does.
  std::string changeLine(const std::string& table, const std::string& bid, int bno,
                         const std::string& field, const std::string& value) {
    auto page = service->GetMasterAndDetailData(
        owner, set, table, "select * from " + table + " where Bid=" + quotedStr(bid),
        "select * from " + table + "_d where Bid=:bid");
    if (!page) return "no such bill";
    ClientDataSet master, lines;
    master.LoadFromPacket(*page);
    lines.SetDataSetField(master, table + "_d");
    for (lines.First(); !lines.Eof(); lines.Next())
      if (lines.FieldByName("BNo").AsString() == std::to_string(bno)) break;
    if (lines.Eof()) return "no such line";
    master.Edit();
    if (field.empty()) {
      lines.Delete();
    } else {
      lines.Edit();
      lines.FieldByName(field).SetAsString(value);
      lines.Post();
    }
    master.Post();
    return service->SaveMasterAndDetailData(owner, set, table, master.GetDelta());
  }

  Caller owner;
  std::string set;

 private:
  std::atomic<unsigned long long> bidSeq_{0};  // clerks save from threads
};

// ---- bill codes ----------------------------------------------------------------------------

class BillCodeTest : public BillServiceTest, public ::testing::WithParamInterface<const char*> {};

// Two clerks ask for the day's code at the same moment (both are given the same one) and then
// save at the same moment: both bills are stored, with consecutive codes.
TEST_P(BillCodeTest, TwoClerksSavingAtOnceGetConsecutiveCodes) {
  const std::string table = GetParam();
  const Bill& b = bill(table);
  const std::string shared = service->GetBill_MaxBcode(owner, set, b.prefix, table, "2026-12-08");
  ASSERT_EQ(shared, std::string(b.prefix) + "202612080001");
  std::vector<std::string> status(3);
  std::barrier start(3);
  std::vector<std::thread> clerks;
  for (std::size_t i = 0; i < status.size(); ++i)
    clerks.emplace_back([&, i] {
      start.arrive_and_wait();
      try {
        status[i] = saveNewBill(table, {{"G1", "2", "3"}}, nullptr, false, shared);
      } catch (const std::exception& e) {
        status[i] = e.what();
      }
    });
  for (std::thread& t : clerks)
    t.join();
  for (const std::string& s : status)
    EXPECT_EQ(s, "0");
  std::vector<std::string> codes;
  for (const Row& r : query("select BCode from " + table + " order by BCode").rows)
    codes.push_back(r[0].toText());
  const std::string head = std::string(b.prefix) + "20261208";
  EXPECT_EQ(codes, (std::vector<std::string>{head + "0001", head + "0002", head + "0003"}));
  EXPECT_EQ(service->GetBill_MaxBcode(owner, set, b.prefix, table, "2026-12-08"), head + "0004");
}

INSTANTIATE_TEST_SUITE_P(Tables, BillCodeTest,
                         ::testing::Values("tb_pur_order", "tb_pur_purchase", "tb_sal_sale",
                                           "tb_sal_back", "tb_sto_in", "tb_sto_out",
                                           "tb_bal_gathering", "tb_bal_payment"));

TEST_F(BillServiceTest, ATakenCodeOfAnotherFormIsRefusedWithoutTheDatabaseText) {
  ASSERT_EQ(saveNewBill("tb_sal_sale", {LineSpec()}, nullptr, false, "手工-1"), "0");
  const std::string status = saveNewBill("tb_sal_sale", {LineSpec()}, nullptr, false, "手工-1");
  EXPECT_EQ(status.find("Duplicate"), std::string::npos) << status;
  EXPECT_NE(status.find("单据编号 手工-1 已被其他单据使用"), std::string::npos) << status;
  EXPECT_EQ(scalar("select count(*) from tb_sal_sale"), "1");
}

TEST_F(BillServiceTest, ChangingTheDateTakesTheNextFreeCodeOfTheNewDay) {
  std::string first, second;
  ASSERT_EQ(saveNewBill("tb_sal_order", {LineSpec()}, &first), "0");
  ASSERT_EQ(saveNewBill("tb_sal_order", {LineSpec()}, &second), "0");
  // The clerk moves the second bill to the first one's day and code: it gets the next one.
  auto page = service->GetMasterAndDetailData(
      owner, set, "tb_sal_order", "select * from tb_sal_order where Bid=" + quotedStr(second),
      "select * from tb_sal_order_d where Bid=:bid");
  ASSERT_TRUE(page);
  ASSERT_EQ(service->doUserDBDataBySql(
                owner, set,
                "update tb_sal_order set BCode='SO202612090001', BDate='2026-12-09' where Bid=" +
                    quotedStr(first)),
            "0");
  ClientDataSet master;
  master.LoadFromPacket(*page);
  master.Edit();
  master.FieldByName("BDate").SetAsString("2026-12-09");
  master.FieldByName("BCode").SetAsString("SO202612090001");
  master.Post();
  EXPECT_EQ(service->SaveMasterAndDetailData(owner, set, "tb_sal_order", master.GetDelta()), "0");
  EXPECT_EQ(scalar("select BCode from tb_sal_order where Bid=" + quotedStr(second)),
            "SO202612090002");
}

// ---- bills that later bills refer to ------------------------------------------------------

struct Reference {
  const char* source;
  bool sourceAutoStock;
  const char* followup;
};

void PrintTo(const Reference& r, std::ostream* os) {
  *os << r.source << " <- " << r.followup;
}

class ReferencedBillTest : public BillServiceTest, public ::testing::WithParamInterface<Reference> {
 protected:
  // A source bill of two lines, and a later bill that took 3 of the source's line 2.
  void saveSourceAndLater(std::string* source, std::string* later) {
    const Reference& r = GetParam();
    ASSERT_EQ(
        saveNewBill(r.source, {{"G1", "10", "2"}, {"G2", "4", "3"}}, source, r.sourceAutoStock),
        "0");
    ASSERT_EQ(saveNewBill(r.followup, {{"G2", "3", "3", *source, 2, bill(r.source).kind}}, later),
              "0");
  }
};

TEST_P(ReferencedBillTest, DeletingIsRefusedUntilTheLaterBillIsDeleted) {
  const Reference& r = GetParam();
  std::string source, later;
  ASSERT_NO_FATAL_FAILURE(saveSourceAndLater(&source, &later));
  const std::string done = scalar(std::string("select doneQty from ") + r.source +
                                  "_d where BNo=2 and Bid=" + quotedStr(source));

  EXPECT_EQ(deleteBill(r.source, source), "单据已被引用，请先删除引用该单的单据后，再删除！");
  EXPECT_EQ(
      scalar(std::string("select count(*) from ") + r.source + "_d where Bid=" + quotedStr(source)),
      "2");
  EXPECT_EQ(scalar(std::string("select doneQty from ") + r.source +
                   "_d where BNo=2 and Bid=" + quotedStr(source)),
            done);
  // The same through a plain statement.
  EXPECT_NE(service
                ->doUserDBDataBySql(
                    owner, set,
                    std::string("delete from ") + r.source + " where Bid=" + quotedStr(source))
                .find("单据已被引用"),
            std::string::npos);

  ASSERT_EQ(deleteBill(r.followup, later), "0");
  EXPECT_EQ(deleteBill(r.source, source), "0");
  EXPECT_EQ(scalar(std::string("select count(*) from ") + r.source + "_d"), "0");
}

const Reference kReferences[] = {
    {"tb_pur_order", false, "tb_pur_purchase"}, {"tb_pur_purchase", false, "tb_sto_in"},
    {"tb_pur_purchase", true, "tb_pur_back"},   {"tb_pur_back", false, "tb_sto_out"},
    {"tb_sal_order", false, "tb_sal_sale"},     {"tb_sal_sale", false, "tb_sto_out"},
    {"tb_sal_sale", true, "tb_sal_back"},       {"tb_sal_back", false, "tb_sto_in"}};

INSTANTIATE_TEST_SUITE_P(Pairs, ReferencedBillTest, ::testing::ValuesIn(kReferences));

// A line that a later line was taken from keeps its goods and key and at least the quantity
// taken; the bill's other lines, prices and larger quantities stay editable.
TEST_P(ReferencedBillTest, AReferencedLineKeepsWhatLaterLinesTookFromIt) {
  const Reference& r = GetParam();
  const std::string lines = std::string(r.source) + "_d";
  std::string source, later;
  ASSERT_NO_FATAL_FAILURE(saveSourceAndLater(&source, &later));
  auto line2 = [&](const std::string& col) {
    return scalar("select " + col + " from " + lines + " where BNo=2 and Bid=" + quotedStr(source));
  };
  const std::string done = line2("doneQty");

  struct Change {
    const char* field;  // empty: delete the line
    const char* value;
    const char* refusal;  // empty: accepted
  };
  const Change refused[] = {
      {"", "", "单据已被引用，请先删除引用该单的单据后，再删除！"},
      {"GoodsID", "G3", "单据已被引用，该行已被后续单据引用，不能更换商品！"},
      {"BNo", "9", "单据已被引用，该行已被后续单据引用，不能移到其他单据或行号！"},
      {"Qty", "2.9999", "单据已被引用，该行数量不能少于后续单据已引用的数量 3！"},
      {"Qty", "0", "单据已被引用，该行数量不能少于后续单据已引用的数量 3！"},
  };
  for (const Change& c : refused) {
    SCOPED_TRACE(std::string(c.field) + "=" + c.value);
    EXPECT_EQ(changeLine(r.source, source, 2, c.field, c.value), c.refusal);
    EXPECT_EQ(line2("GoodsID"), "G2");
    EXPECT_EQ(line2("Qty"), "4");
    EXPECT_EQ(line2("doneQty"), done);
  }
  // The same through a plain statement.
  EXPECT_NE(
      service
          ->doUserDBDataBySql(owner, set,
                              "delete from " + lines + " where BNo=2 and Bid=" + quotedStr(source))
          .find("单据已被引用"),
      std::string::npos);

  EXPECT_EQ(changeLine(r.source, source, 2, "Qty", "3"), "0");  // down to what was taken
  EXPECT_EQ(changeLine(r.source, source, 2, "Qty", "7.5"), "0");
  EXPECT_EQ(changeLine(r.source, source, 2, "Price", "8"), "0");
  EXPECT_EQ(changeLine(r.source, source, 1, "GoodsID", "G3"), "0");
  EXPECT_EQ(changeLine(r.source, source, 1, "Qty", "1"), "0");
  EXPECT_EQ(changeLine(r.source, source, 1, "", ""), "0");
  // The later line may still grow; the source line's done quantity follows it.
  ASSERT_EQ(updateLineQty(r.followup, later, 1, "5"), "0");
  EXPECT_EQ(line2("doneQty"), r.sourceAutoStock ? "7.5" : "5");
  EXPECT_EQ(changeLine(r.source, source, 2, "Qty", "4"),
            "单据已被引用，该行数量不能少于后续单据已引用的数量 5！");

  ASSERT_EQ(deleteBill(r.followup, later), "0");
  EXPECT_EQ(changeLine(r.source, source, 2, "Qty", "1"), "0");
  EXPECT_EQ(changeLine(r.source, source, 2, "", ""), "0");
  EXPECT_EQ(scalar("select count(*) from " + lines), "0");
}

// A purchase (sale) line is held both by the stock lines that executed it and by its returns:
// it may not shrink below the larger of the two.
TEST_F(BillServiceTest, ASourceLineKeepsTheLargerOfStockedAndReturned) {
  for (const auto& [source, stock, ret, kind] :
       {std::tuple{"tb_pur_purchase", "tb_sto_in", "tb_pur_back", 3100},
        std::tuple{"tb_sal_sale", "tb_sto_out", "tb_sal_back", 3400}}) {
    SCOPED_TRACE(source);
    std::string src;
    ASSERT_EQ(saveNewBill(source, {{"G1", "10", "2"}}, &src), "0");
    ASSERT_EQ(saveNewBill(stock, {{"G1", "6", "0", src, 1, kind}}), "0");
    ASSERT_EQ(saveNewBill(ret, {{"G1", "8", "2", src, 1, kind}}), "0");
    EXPECT_EQ(updateLineQty(source, src, 1, "7.9"),
              "单据已被引用，该行数量不能少于后续单据已引用的数量 8！");
    EXPECT_EQ(updateLineQty(source, src, 1, "8"), "0");
    EXPECT_EQ(
        scalar(std::string("select doneQty from ") + source + "_d where Bid=" + quotedStr(src)),
        "6");
  }
}

TEST_F(BillServiceTest, ALineCannotBeTakenFromALineThatDoesNotExist) {
  std::string order;
  ASSERT_EQ(saveNewBill("tb_pur_order", {{"G1", "5", "2"}}, &order), "0");
  const std::string status = saveNewBill("tb_pur_purchase", {{"G1", "1", "2", order, 7, 3000}});
  EXPECT_NE(status.find("引用的源单明细不存在"), std::string::npos) << status;
  EXPECT_EQ(scalar("select count(*) from tb_pur_purchase"), "0");
}

// ---- returns ------------------------------------------------------------------------------

struct ReturnSide {
  const char* source;
  const char* ret;
  const char* view;
  int kind;
};

void PrintTo(const ReturnSide& s, std::ostream* os) {
  *os << s.ret;
}

class ReturnTest : public BillServiceTest, public ::testing::WithParamInterface<ReturnSide> {
 protected:
  std::string returnable(const std::string& bid, int bno) {
    return scalar(std::string("select ReturnableQty from ") + GetParam().view +
                  " where Bid=" + quotedStr(bid) + " and BNo=" + std::to_string(bno));
  }
};

TEST_P(ReturnTest, AReturnLineMayTakeOnlyWhatIsStillReturnable) {
  const ReturnSide& s = GetParam();
  std::string src, first, refused, last;
  // Stocked in full: doneQty = Qty, yet all of it can still be returned.
  ASSERT_EQ(saveNewBill(s.source, {{"G1", "10", "2"}, {"G2", "2.5", "4"}}, &src, true), "0");
  EXPECT_EQ(returnable(src, 1), "10");
  EXPECT_EQ(returnable(src, 2), "2.5");

  ASSERT_EQ(saveNewBill(s.ret, {{"G1", "4", "2", src, 1, s.kind}}, &first), "0");
  EXPECT_EQ(returnable(src, 1), "6");

  const std::string status = saveNewBill(s.ret, {{"G1", "6.5", "2", src, 1, s.kind}}, &refused);
  EXPECT_EQ(status, "退货数量超过原单可退数量：该行最多还可退 6！");
  EXPECT_EQ(scalar(std::string("select count(*) from ") + s.ret), "1");  // nothing half-saved

  // Growing the first return past the line is refused too; shrinking it frees quantity.
  EXPECT_NE(updateLineQty(s.ret, first, 1, "10.5").find("最多还可退 10！"), std::string::npos);
  ASSERT_EQ(updateLineQty(s.ret, first, 1, "3"), "0");
  EXPECT_EQ(returnable(src, 1), "7");

  ASSERT_EQ(
      saveNewBill(s.ret, {{"G1", "7", "2", src, 1, s.kind}, {"G2", "2.5", "4", src, 2, s.kind}},
                  &last),
      "0");
  EXPECT_EQ(returnable(src, 1), "0");
  EXPECT_EQ(returnable(src, 2), "0");
  EXPECT_EQ(saveNewBill(s.ret, {{"G2", "0.0001", "4", src, 2, s.kind}}),
            "退货数量超过原单可退数量：该行最多还可退 0！");

  // Deleting a return gives its quantity back.
  ASSERT_EQ(deleteBill(s.ret, last), "0");
  EXPECT_EQ(returnable(src, 1), "7");
  EXPECT_EQ(returnable(src, 2), "2.5");
}

INSTANTIATE_TEST_SUITE_P(
    Sides, ReturnTest,
    ::testing::Values(ReturnSide{"tb_pur_purchase", "tb_pur_back", "view_pur_returnable", 3100},
                      ReturnSide{"tb_sal_sale", "tb_sal_back", "view_sal_returnable", 3400}));

// ---- stock on hand for the lines of a bill --------------------------------------------------

TEST_F(BillServiceTest, OnHandOfEveryLineOfABillInOneStatement) {
  std::string sale;
  ASSERT_EQ(saveNewBill("tb_pur_purchase", {{"G1", "10", "2"}, {"G2", "3.5", "1"}}, nullptr, true),
            "0");
  ASSERT_EQ(saveNewBill("tb_sto_out", {{"G1", "4"}}), "0");
  ASSERT_EQ(saveNewBill("tb_sal_sale", {{"G1", "1.25", "9"}, {"G3", "2", "9"}}, &sale, true), "0");
  // Another store's stock does not count.
  ASSERT_EQ(service->doUserDBDataBySql(owner, set, "update tb_sto_out set StoreId='S2' where 1=1"),
            "0");
  // The statement a bill sends before it takes goods out: its store, the goods of its lines,
  // its own stored lines left out (they are what it is about to replace).
  const std::string sql =
      "select GoodsID, sum(qty * ioDirect) as OnHand from view_storebillflow "
      "where StoreId='100000000000001' and GoodsID in ('G1','G2','G3') and bid<>" +
      quotedStr(sale) + " group by GoodsID order by GoodsID";
  Packet p = query(sql);
  std::vector<std::string> got;
  for (const Row& r : p.rows)
    got.push_back(r[0].toText() + "=" + r[1].toText());
  EXPECT_EQ(got, (std::vector<std::string>{"G1=10", "G2=3.5"}));
}

// ---- exact decimals -----------------------------------------------------------------------

TEST_F(BillServiceTest, QuantitiesPricesAndAmountsArriveExactly) {
  std::string bid;
  // Values a binary double would not keep: 17 significant digits, and 0.1 + 0.2.
  ASSERT_EQ(saveNewBill("tb_sal_sale",
                        {{"G1", "123456789.0001", "99999999.99"}, {"G2", "0.3", "0.1"}}, &bid),
            "0");
  Packet p = query("select Qty, Price, Amount from tb_sal_sale_d where Bid=" + quotedStr(bid) +
                   " order by BNo");
  ASSERT_EQ(p.rows.size(), 2u);
  EXPECT_EQ(p.rows[0][0].toText(), "123456789.0001");
  EXPECT_EQ(p.rows[0][1].toText(), "99999999.99");
  EXPECT_EQ(p.rows[0][2].toText(), "12345678898775432.11");
  EXPECT_EQ(p.rows[1][2].toText(), "0.03");
  EXPECT_EQ(scalar("select Balance from td_trader where Id='C1'"), "12345678898775432.14");
}

}  // namespace
}  // namespace vlt::server
