// Clients and vendors: the two lists opened by their registered names, each reading only its own
// kind of trader; the edit dialogs' words, checks and statements (the flag on insert, only the
// changed boxes on update, never the flag or the balance); the row handed from the list.
#include <gtest/gtest.h>

#include <QAction>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "basedata/traderbasedata.h"
#include "basedata_testing.h"
#include "fakehost.h"
#include "vlt/host.h"
#include "windowrows.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TTraderEditDialog;
using vlt::business::TTraderListForm;
using vlt::test::kPkg;
using vlt::test::kRun;

namespace {

// Traders as the service sends them: Balance is a decimal, missing texts are null.
Packet traders(const std::vector<std::vector<std::string>>& rows) {
  Packet p;
  for (const char* name : {"Id", "Name", "Address", "LinkMen", "Tel", "Balance", "IsClient"}) {
    FieldDef f;
    f.name = name;
    f.type = std::string(name) == "Balance" ? DataType::Decimal : DataType::String;
    f.size = f.type == DataType::String ? 80 : 0;
    f.precision = f.type == DataType::Decimal ? 25 : 0;
    f.scale = f.type == DataType::Decimal ? 4 : 0;
    p.fields.add(f);
  }
  for (const auto& r : rows) {
    Row row;
    for (std::size_t i = 0; i < r.size(); ++i) {
      if (r[i] == "<null>")
        row.push_back(Value());
      else if (i == 5)
        row.push_back(Value(Decimal::parse(r[i])));
      else
        row.push_back(Value(r[i]));
    }
    p.rows.push_back(std::move(row));
  }
  return p;
}

struct Kind {
  const char* list;
  const char* dialog;  // registered name
  const char* dialogClass;
  std::string flag;
  QString listCaption;
  QString nameHeader;
  QString balanceHeader;
  QString editCaption;
  QString addressLabel;
  QString emptyName;
};

// clang-format off
const Kind kKinds[] = {
    {"uBaseDataClient.TfrmBaseDataClient", "uBaseDataClientEdit.TfrmBaseDataClientEdit",
     "TfrmBaseDataClientEdit", "True", "基础资料 -> 客户档案", "客户名称", "实际应收款余额",
     "客户档案编辑", "客户地址", "客户名称不能为空！"},
    {"uBaseDataVendor.TfrmBaseDataVendor", "uBaseDataVendorEdit.TfrmBaseDataVendorEdit",
     "TfrmBaseDataVendorEdit", "False", "基础资料 -> 供货商档案", "供货商名称", "实际应付款余额",
     "供货商档案编辑", "供货商地址", "供货商名称不能为空！"},
};
// clang-format on

QStringList labels(TTraderEditDialog& d) {
  QStringList out;
  for (QLineEdit* box : {d.edtTraderName, d.edtTraderAddr, d.edtTraderLinkMen, d.edtTraderTel}) {
    auto* label = qobject_cast<QLabel*>(d.EditRows()->labelForField(box));
    out << (label ? label->text() : QString());
  }
  return out;
}

QStringList accessibleNames(TTraderEditDialog& d) {
  QStringList out;
  for (QLineEdit* box : {d.edtTraderName, d.edtTraderAddr, d.edtTraderLinkMen, d.edtTraderTel})
    out << box->accessibleName();
  return out;
}

QStringList boxes(TTraderEditDialog& d) {
  return {d.edtTraderName->text(), d.edtTraderAddr->text(), d.edtTraderLinkMen->text(),
          d.edtTraderTel->text()};
}

class BaseDataTradersTest : public test::BaseDataTest {};

TEST_F(BaseDataTradersTest, EachListReadsOnlyItsOwnKindWithItsWords) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.list);
    test::FreshHost fresh;
    // The same name as client and as vendor: each list gets only its own row.
    fresh.proxy().answer(
        "IsClient='True'",
        traders({{"c1", "华联超市", "中山路1号", "王五", "13800000000", "1250.5", "True"}}));
    fresh.proxy().answer(
        "IsClient='False'",
        traders({{"v1", "华联超市", "<null>", "<null>", "<null>", "-80", "False"}}));
    fresh.ui().confirmAnswers = {true};
    auto w = test::createWindow<TTraderListForm>(kPkg, k.list);
    ASSERT_TRUE(w) << "not registered under this name";
    EXPECT_EQ(fresh.proxy().calls,
              std::vector<std::string>{"GetUserDBDataBySql|10001_01|select * from td_Trader "
                                       "where IsClient='" +
                                       k.flag + "'"});
    EXPECT_EQ(w->windowTitle(), k.listCaption);
    EXPECT_EQ(test::visibleColumns(*w->GrdMain),
              (QStringList{k.nameHeader + ":160", "地址:160", "联系人:90", "联系电话:90",
                           k.balanceHeader + ":100"}));
    ASSERT_EQ(w->cdsBaseData.RecordCount(), 1);
    EXPECT_EQ(w->cdsBaseData.FieldByName("IsClient").AsString(), k.flag);
    test::showSettled(*w);
    test::saveShot(*w, w->ClassName());
    w->actDel->trigger();
    EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"),
              std::vector<std::string>{kRun + "delete from td_Trader where ID='" +
                                       (k.flag == "True" ? "c1" : "v1") + "'"});
  }
}

TEST_F(BaseDataTradersTest, EditDialogsCheckTheNameAndWriteOnlyWhatChanged) {
  const std::string ins =
      kRun +
      "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value ('200000000000000',";
  const std::string upd = kRun + "update td_Trader set ";
  const std::string where = " where Id='t''1'";
  // The stored row of the "Edit" rows.
  const TBaseDataInfo_Trader stored{
      "t'1", "华联超市", "中山路1号", "王五", "13800000000", Decimal::parse("1250.5"), "True"};
  using Row = test::WindowRow<TTraderEditDialog>;
  // Types name, address, contact and telephone, then saves and closes.
  auto saving = [](QStringList typed) {
    return [typed](TTraderEditDialog& d) {
      const char* names[] = {"edtTraderName", "edtTraderAddr", "edtTraderLinkMen", "edtTraderTel"};
      for (int i = 0; i < typed.size(); ++i)
        test::Type(d, names[i], typed[i]);
      d.actSaveAndClose->trigger();
    };
  };
  const auto nameFocused = [](TTraderEditDialog& d, test::HostFixture&) {
    EXPECT_EQ(d.focusWidget(), d.edtTraderName);
  };
  const auto refused = [](TTraderEditDialog& d) {
    test::Type(d, "edtTraderTel", "021-3");
    d.actSaveAndClose->trigger();
  };
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.dialog);
    auto opening = [&k, &stored](const QString& mode, std::vector<std::string> statuses = {}) {
      return [&k, &stored, mode, statuses](test::HostFixture& fresh) {
        CurUserInfo().UserDBID = test::kDb;
        fresh.proxy().statuses.assign(statuses.begin(), statuses.end());
        auto d = test::createWindow<TTraderEditDialog>(kPkg, k.dialog, mode);
        if (!d) return d;
        d->FTraderInfo = stored;
        test::showSettled(*d);
        EXPECT_EQ(d->windowTitle(), k.editCaption);
        // Each box is named by its caption, for the eye and for screen readers.
        const QStringList captions{k.nameHeader, k.addressLabel, "联 系 人", "联系电话"};
        EXPECT_EQ(labels(*d), captions);
        EXPECT_EQ(accessibleNames(*d), captions);
        return d;
      };
    };
    const QString empty = k.emptyName;
    const std::string flag = "'" + k.flag + "')";
    // clang-format off
    test::RunWindowRows<TTraderEditDialog>(opening("Append"), {
        Row{"starts empty", [](auto&) {}, test::kNothingSent, {},
            {{"edtTraderName", ""}, {"edtTraderAddr", ""}, {"edtTraderLinkMen", ""},
             {"edtTraderTel", ""}}, true, {}},
        Row{"new, trimmed, quotes and backslashes kept",
            saving({" O'Neil \\ 商行 ", " 北京路'2'号 ", " 李四 ", " 010-1 "}),
            {ins + "'O''Neil \\ 商行','北京路''2''号','李四','010-1'," + flag}, {}, {}, false, {}},
        Row{"new with only a name", saving({"小卖部", "", "", ""}),
            {ins + "'小卖部','','',''," + flag}, {}, {}, false, {}},
        Row{"new without a name", saving({"  ", "北京路", "李四", "010"}), test::kNothingSent, {empty}, {}, true,
            nameFocused},
    });
    test::RunWindowRows<TTraderEditDialog>(opening("Edit"), {
        Row{"shows the stored row", [](auto&) {}, test::kNothingSent, {},
            {{"edtTraderName", "华联超市"}, {"edtTraderAddr", "中山路1号"},
             {"edtTraderLinkMen", "王五"}, {"edtTraderTel", "13800000000"}}, true, {}},
        Row{"name blanked", saving({"", "中山路1号", "王五", "13800000000"}), test::kNothingSent, {empty}, {},
            true, nameFocused},
        Row{"nothing changed", saving({}), test::kNothingSent, {"没检测到需要保存的数据！"}, {}, true, {}},
        Row{"only blanks added", saving({" 华联超市", "中山路1号 ", "王五", "13800000000"}), test::kNothingSent,
            {"没检测到需要保存的数据！"}, {}, true, {}},
        Row{"only the telephone", saving({"华联超市", "中山路1号", "王五", "021-2"}),
            {upd + "Tel='021-2'" + where}, {}, {}, false, {}},
        Row{"name and contact", saving({"华联'二店'", "中山路1号", "赵六", "13800000000"}),
            {upd + "Name='华联''二店''',LinkMen='赵六'" + where}, {}, {}, false, {}},
        Row{"all four in their order", saving({"甲", "乙", "丙", "丁"}),
            {upd + "Name='甲',Address='乙',LinkMen='丙',Tel='丁'" + where}, {}, {}, false, {}},
        Row{"address cleared", saving({"华联超市", "", "王五", "13800000000"}),
            {upd + "Address=''" + where}, {}, {}, false, {}},
    });
    test::RunWindowRows<TTraderEditDialog>(opening("Edit", {"Data too long for column 'Tel' at row 1"}), {
        Row{"refused by the service: told plainly, the typed text kept", refused,
            {upd + "Tel='021-3'" + where}, {"保存失败，错误原因：所填的内容太长，请缩短后重试。"},
            {{"edtTraderTel", "021-3"}}, true, {}},
    });
    // clang-format on
  }
}

TEST_F(BaseDataTradersTest, ModifyHandsTheSelectedRowOverAndSaveAndNewStartsAFreshOne) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.list);
    test::FreshHost fresh("from td_Trader",
                          traders({{"t1", "甲", "<null>", "<null>", "<null>", "0", k.flag},
                                   {"t2", "乙", "南京路", "周七", "0571-3", "1250.5", k.flag}}));
    TBaseDataInfo_Trader seen;
    QString mode, modeAfter;
    QStringList shownBoxes, boxesAfter;
    QPointer<QDialog> dialog;
    fresh.ui().scripts[k.dialogClass] = [&](QDialog& d) {
      auto& e = dynamic_cast<TTraderEditDialog&>(d);
      dialog = &d;
      seen = e.FTraderInfo;
      mode = e.TagString;
      shownBoxes = boxes(e);
      test::saveShot(e, e.ClassName());
      e.edtTraderTel->setText("0571-4");
      e.actSaveAndNew->trigger();
      boxesAfter = boxes(e);
      modeAfter = e.TagString;
      return 0;
    };
    auto w = test::createWindow<TTraderListForm>(kPkg, k.list);
    ASSERT_TRUE(w);
    w->cdsBaseData.SetRecNo(2);
    w->actEdit->trigger();
    ASSERT_EQ(fresh.ui().modalShown, QStringList{k.dialogClass});
    EXPECT_EQ(mode, "Edit");
    EXPECT_EQ(seen.ID, "t2");
    EXPECT_EQ(seen.Name, "乙");
    EXPECT_EQ(seen.Address, "南京路");
    EXPECT_EQ(seen.LinkMen, "周七");
    EXPECT_EQ(seen.Tel, "0571-3");
    EXPECT_EQ(seen.Balance, Decimal::parse("1250.5"));
    EXPECT_EQ(seen.IsClient, qs(k.flag));
    EXPECT_EQ(shownBoxes, (QStringList{"乙", "南京路", "周七", "0571-3"}));
    EXPECT_EQ(fresh.proxy().callsStartingWith("doUserDB"),
              std::vector<std::string>{kRun + "update td_Trader set Tel='0571-4' where Id='t2'"});
    EXPECT_EQ(boxesAfter, (QStringList{"", "", "", ""}));
    EXPECT_EQ(modeAfter, "Append");
    EXPECT_TRUE(dialog.isNull());  // freed by the list
    EXPECT_EQ(fresh.proxy().callsStartingWith("GetUserDBDataBySql").size(), 2u);

    // New starts empty in "Append".
    fresh.ui().scripts[k.dialogClass] = [&](QDialog& d) {
      mode = dynamic_cast<TTraderEditDialog&>(d).TagString;
      shownBoxes = boxes(dynamic_cast<TTraderEditDialog&>(d));
      return 0;
    };
    w->actNew->trigger();
    EXPECT_EQ(mode, "Append");
    EXPECT_EQ(shownBoxes, (QStringList{"", "", "", ""}));
    EXPECT_EQ(fresh.ui().modalShown.size(), 2);
  }
}

}  // namespace
