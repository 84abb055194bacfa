// Person-card categories: the list of one kind and its edit window, and the monthly overview,
// against the recording fake service.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSpinBox>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include "personcard_testing.h"
#include "uPersionCardIoType.h"
#include "uPersionCardIoTypeEdit.h"
#include "uPersionCardMonthly.h"
#include "vlt/components.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;

constexpr const char* kTypeList = "uPersionCardIoType.TfrmPersionCardIoType";
constexpr const char* kTypeEdit = "uPersionCardIoTypeEdit.TfrmPersionCardIoTypeEdit";
const std::string kRun = "doSysMainDBDataBySql|";

QStringList shownNames(TfrmPersionCardIoType& w) {
  QStringList out;
  const QAbstractItemModel* m = w.grd->model();
  for (int r = 0; r < m->rowCount(); ++r)
    out << m->index(r, 4).data().toString();
  return out;
}

TEST(PersionCardCategories, EachListShowsOnlyItsKind) {
  struct Case {
    const char* kind;
    const char* caption;
    const char* header;
    QStringList names;
  };
  for (const Case& c :
       {Case{"1", "收入", "收入类别", {"工资"}}, Case{"2", "支出", "支出类别", {"餐饮", "房租"}},
        Case{"3", "信用卡", "信用卡名", {"招商银行卡", "工商银行卡"}}}) {
    SCOPED_TRACE(c.kind);
    HostFixture h;
    auto w = OpenKind<TfrmPersionCardIoType>(h, kTypeList, c.kind);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), c.caption);
    EXPECT_EQ(w->grd->model()->headerData(4, Qt::Horizontal).toString(), c.header);
    EXPECT_EQ(shownNames(*w), c.names);
    for (int hidden = 0; hidden < 4; ++hidden)
      EXPECT_TRUE(w->grd->isColumnHidden(hidden));
    // The list stays on its kind after a reload.
    w->RefreshData();
    EXPECT_EQ(shownNames(*w), c.names);
    if (QString(c.kind) == "3") saveShot(*w, "personcard_categories_3");
  }
}

TEST(PersionCardCategories, AddAndRenameWriteTheUsersOwnRowAndReloadEvenWhenNothingWasSaved) {
  struct Case {
    const char* name;
    const char* kind;
    bool rename;
    QString typed;  // null: the user closes without saving
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"new card",
       "3",
       false,
       "交通银行卡",
       {kRun + "INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values "
               "('10001',3,-1,'交通银行卡')"}},
      {"new income category with a quote and emoji",
       "1",
       false,
       "O'Neil 兼职 💼",
       {kRun + "INSERT INTO userpersioniotype (UserID,IoKind,IoDirect,IoType) values "
               "('10001',1,1,'O''Neil 兼职 💼')"}},
      {"rename",
       "2",
       true,
       "外卖",
       {kRun + "Update userpersioniotype set IoType='外卖' where UserID='10001' and ID=12"}},
      {"closed without saving", "2", false, QString(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HostFixture h;
    auto w = OpenKind<TfrmPersionCardIoType>(h, kTypeList, c.kind);
    ASSERT_TRUE(w);
    const QString typed = c.typed;
    const bool rename = c.rename;
    h.ui().scripts["TfrmPersionCardIoTypeEdit"] = [typed, rename](QDialog& d) {
      auto& e = dynamic_cast<TfrmPersionCardIoTypeEdit&>(d);
      EXPECT_EQ(e.TagString, rename ? "Edit" : "Append");
      if (rename) {
        EXPECT_EQ(e.IoTypeID, 12);
        EXPECT_EQ(BoxText(e, "edtName"), "餐饮");
      }
      if (!typed.isNull()) {
        Type(e, "edtName", typed);
        e.actSaveAndClose->trigger();
      }
      return 0;
    };
    const std::size_t loadsBefore = h.proxy().callsStartingWith("GetSysMainDBDataBySql").size();
    (c.rename ? w->actModify : w->actAdd)->trigger();
    EXPECT_EQ(ChangesSent(h.proxy()), c.sent);
    EXPECT_EQ(h.proxy().callsStartingWith("GetSysMainDBDataBySql").size(), loadsBefore + 1);
    EXPECT_TRUE(h.ui().messages.isEmpty()) << h.ui().messages.join("\n").toStdString();
  }
}

TEST(PersionCardCategories, EditWindowRefusesAnEmptyNameAndKeepsARefusedOne) {
  struct Case {
    int kind;
    const char* label;
    const char* caption;
  };
  for (const Case& c : {Case{1, "收入类别名称", "收入类别"}, Case{2, "支出类别名称", "支出类别"},
                        Case{3, "信用卡名称", "信用卡名"}}) {
    SCOPED_TRACE(c.kind);
    HostFixture h;
    auto e = OpenKind<TfrmPersionCardIoTypeEdit>(h, kTypeEdit, "Append", c.kind);
    ASSERT_TRUE(e);
    EXPECT_EQ(BoxText(*e, "lblName"), c.label);
    EXPECT_EQ(e->windowTitle(), c.caption);
    Type(*e, "edtName", "  ");
    e->actSaveAndClose->trigger();
    EXPECT_EQ(h.ui().messages, QStringList{QString("『%1』不能为空！").arg(c.label)});
    EXPECT_TRUE(ChangesSent(h.proxy()).empty());
    EXPECT_TRUE(e->isVisible());
    if (c.kind == 3) saveShot(*e, "personcard_category_edit");
  }
  HostFixture h;
  auto e = OpenKind<TfrmPersionCardIoTypeEdit>(h, kTypeEdit, "Append", 2);
  ASSERT_TRUE(e);
  h.proxy().statuses = {"Lost connection to server during query"};
  Type(*e, "edtName", "书籍");
  e->actSaveAndClose->trigger();
  EXPECT_TRUE(e->isVisible());
  EXPECT_EQ(BoxText(*e, "edtName"), "书籍");
  ASSERT_EQ(h.ui().messages.size(), 1);
  EXPECT_TRUE(h.ui().messages[0].startsWith("保存失败，错误原因："));
}

TEST(PersionCardCategories, DeleteSendsTheRowAndARefusalBringsItBack) {
  for (const std::string status : {"0", "Lock wait timeout exceeded; try restarting transaction"}) {
    SCOPED_TRACE(status);
    HostFixture h;
    auto w = OpenKind<TfrmPersionCardIoType>(h, kTypeList, "3");
    ASSERT_TRUE(w);
    w->grd->SelectCell(4, 1);
    h.ui().confirmAnswers = {true};
    h.proxy().statuses = {status};
    w->actDel->trigger();
    ASSERT_EQ(h.proxy().deltas.size(), 1u);
    const Delta& d = h.proxy().deltas[0];
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0].oldValues[static_cast<std::size_t>(d.fields.indexOf("Id"))].toText(), "15");
    EXPECT_EQ(ChangesSent(h.proxy()),
              std::vector<std::string>{"SaveSysMainDataBySql|10001|select UserID,IOKind,IODirect,"
                                       "IOType from UserPersionIOType where 1=0"});
    if (status == "0") {
      EXPECT_EQ(shownNames(*w), QStringList{"招商银行卡"});
      EXPECT_TRUE(h.ui().messages.isEmpty());
    } else {
      EXPECT_EQ(shownNames(*w), (QStringList{"招商银行卡", "工商银行卡"}));
      ASSERT_EQ(h.ui().messages.size(), 1);
      EXPECT_TRUE(h.ui().messages[0].startsWith("删除失败，错误原因："));
    }
  }
}

// ---- the monthly overview -------------------------------------------------------------------

TEST(PersionCardMonthly, TwelveMonthsAndTheTotalFromOneGroupedStatement) {
  HostFixture h;
  SignIn(h);
  h.proxy().answer("group by month(bdate)",
                   packetOf({"Mon", "InAmt", "OutAmt", "CardAmt", "RepayAmt", "NetAmt"},
                            {{"1", "5000.10", "0.20", "100.00", "0.00", "4999.90"},
                             {"3", "0.00", "0.10", "0.00", "50.00", "49.90"}}));
  auto w = createWindow<TfrmPersionCardMonthly>(kPkg, "uPersionCardMonthly.TfrmPersionCardMonthly");
  ASSERT_TRUE(w);
  w->spnYear->setValue(2025);
  w->resize(1100, 760);
  showSettled(*w);
  const auto loads = h.proxy().callsStartingWith("GetSysMainDBDataBySql|10001|select month(bdate)");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_NE(loads[0].find("where UserID='10001' and bdate between '2025-01-01' and '2025-12-31' "
                          "group by month(bdate)"),
            std::string::npos)
      << loads[0];
  const QAbstractItemModel* m = w->grdMonth->model();
  ASSERT_EQ(m->rowCount(), 13);
  auto row = [m](int r) {
    QStringList cells;
    for (int c = 0; c < m->columnCount(); ++c)
      cells << m->index(r, c).data().toString();
    return cells.join("|");
  };
  EXPECT_EQ(row(0), "1月|5000.10|0.20|100.00|0.00|4999.90");
  EXPECT_EQ(row(1), "2月|0.00|0.00|0.00|0.00|0.00");
  EXPECT_EQ(row(2), "3月|0.00|0.10|0.00|50.00|49.90");
  EXPECT_EQ(row(12), "合计|5000.10|0.30|100.00|50.00|5049.80");
  auto* series = qobject_cast<QBarSeries*>(w->chtMonth->chart()->series().value(0));
  ASSERT_NE(series, nullptr);
  ASSERT_EQ(series->count(), 3);
  EXPECT_EQ(series->barSets()[0]->label(), "收入");
  EXPECT_EQ(series->barSets()[0]->count(), 12);
  EXPECT_DOUBLE_EQ(series->barSets()[2]->at(0), 100.0);
  saveShot(*w, "personcard_monthly");
}

}  // namespace
