// Field bindings in both directions for every widget kind, and the calendar button.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>

#include "components_fixtures.h"

using namespace vlt;
using vlt::components::TBindingList;
using vlt::components::TNxImgCalendarBtn;

namespace {

FieldDefs billFields() {
  return FieldDefs{test::stringField("Code"),
                   test::stringField("Name"),
                   test::stringField("IsStop"),
                   test::stringField("Unit"),
                   test::typedField("BillDate", DataType::Date),
                   test::stringField("Remark", 0),
                   test::intField("Qty"),
                   test::typedField("Stamp", DataType::DateTime)};
}

void fill(ClientDataSet& ds) {
  ds.FieldDefinitions() = billFields();
  ds.CreateDataSet();
  test::appendRow(ds, {Value("B1"), Value("Sugar"), Value("True"), Value("箱"),
                       Value(Date::fromYmd(2024, 5, 1)), Value("first\nline"),
                       Value(std::int32_t{3}), Value(DateTime::parse("2024-05-01 08:30:00"))});
  test::appendRow(
      ds, {Value("B2"), Value("Tea"), Value("False"), Value("瓶"),
           Value(Date::fromYmd(2024, 6, 30)), Value("second"), Value(std::int32_t{4}), Value()});
  ds.First();
}

QString dateText(QDateEdit* d) {
  return d->date() == d->minimumDate() ? QString() : d->date().toString("yyyy-MM-dd");
}

// One widget kind: how to make and bind it, what it shows (as the field's text), and what a
// user does to it.
struct Kind {
  const char* name;
  const char* field;
  std::function<QWidget*(TBindingList&)> bind;
  std::function<QString(QWidget*)> shown;
  std::function<void(QWidget*)> userEdit;  // null: read-only
  const char* written;                     // the field after the user's edit of row 2
  const char* byCode;                      // a value set by code, and how the widget shows it
  const char* shownByCode;
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> k = {
      {"line edit", "Name",
       [](TBindingList& b) {
         auto* w = new QLineEdit;
         b.BindEdit(w, "name");
         return w;
       },
       [](QWidget* w) { return static_cast<QLineEdit*>(w)->text(); },
       [](QWidget* w) { QTest::keyClicks(w, " Tea"); }, "Tea Tea", "Coffee", "Coffee"},
      {"check box", "IsStop",
       [](TBindingList& b) {
         auto* w = new QCheckBox;
         b.BindCheck(w, "IsStop");
         return w;
       },
       [](QWidget* w) {
         return QString(static_cast<QCheckBox*>(w)->isChecked() ? "True" : "False");
       },
       [](QWidget* w) { static_cast<QCheckBox*>(w)->click(); }, "True", "TRUE", "True"},
      {"combo box", "Unit",
       [](TBindingList& b) {
         auto* w = new QComboBox;
         w->addItems({"个", "箱", "瓶"});
         b.BindCombo(w, "Unit");
         return w;
       },
       [](QWidget* w) { return static_cast<QComboBox*>(w)->currentText(); },
       [](QWidget* w) { QTest::keyClick(w, Qt::Key_Up); }, "箱", "个", "个"},
      {"date edit", "BillDate",
       [](TBindingList& b) {
         auto* w = new QDateEdit;
         w->setDisplayFormat("yyyy-MM-dd");
         b.BindDate(w, "BillDate");
         return w;
       },
       [](QWidget* w) { return dateText(static_cast<QDateEdit*>(w)); },
       [](QWidget* w) {
         auto* d = static_cast<QDateEdit*>(w);
         d->setCurrentSection(QDateTimeEdit::DaySection);
         QTest::keyClick(d, Qt::Key_Down);
       },
       "2024-06-29", "2025-01-02", "2025-01-02"},
      {"memo", "Remark",
       [](TBindingList& b) {
         auto* w = new QPlainTextEdit;
         b.BindMemo(w, "Remark");
         return w;
       },
       [](QWidget* w) { return static_cast<QPlainTextEdit*>(w)->toPlainText(); },
       [](QWidget* w) {
         auto* m = static_cast<QPlainTextEdit*>(w);
         m->moveCursor(QTextCursor::End);
         QTest::keyClicks(m, "!");
       },
       "second!", "a\nb", "a\nb"},
      {"label", "Code",
       [](TBindingList& b) {
         auto* w = new QLabel;
         b.BindLabel(w, "Code");
         return w;
       },
       [](QWidget* w) { return static_cast<QLabel*>(w)->text(); }, nullptr, "B2", "B9", "B9"},
  };
  return k;
}

std::string fieldText(ClientDataSet& ds, const char* field) {
  return ds.FieldByName(field).AsString();
}

}  // namespace

class BindingKinds : public ::testing::TestWithParam<Kind> {
 protected:
  test::CaughtExceptions caught;
  ClientDataSet ds;
};

TEST_P(BindingKinds, ShowTheCurrentRowAndWriteWhatTheUserEnters) {
  const Kind& k = GetParam();
  fill(ds);
  auto list = std::make_unique<TBindingList>(ds);
  std::unique_ptr<QWidget> w(k.bind(*list));
  auto shows = [&] { return k.shown(w.get()).toStdString(); };
  EXPECT_EQ(shows(), fieldText(ds, k.field)) << "bound";
  ds.Next();
  EXPECT_EQ(shows(), fieldText(ds, k.field)) << "moved";
  const std::string before = fieldText(ds, k.field);
  if (k.userEdit) {
    k.userEdit(w.get());
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(fieldText(ds, k.field), k.written);
    EXPECT_EQ(shows(), k.written) << "the widget keeps what the user entered";
    ds.Cancel();
    EXPECT_EQ(shows(), before) << "cancelled";
  }
  // A change made by code shows at once.
  ds.Edit();
  ds.FieldByName(k.field).SetAsString(k.byCode);
  EXPECT_EQ(shows(), k.shownByCode) << "changed by code";
  ds.Cancel();
  // Widgets of an empty data set are blank.
  ds.EmptyDataSet();
  EXPECT_EQ(shows(), k.field == std::string("IsStop") ? "False" : "") << "empty";
  EXPECT_TRUE(caught.messages.isEmpty());
  list.reset();  // the list goes before its widgets, which then no longer write
  if (k.userEdit) {
    ds.Append();
    ds.Post();
    k.userEdit(w.get());
    EXPECT_EQ(ds.State(), DataSetState::Browse);
  }
}

INSTANTIATE_TEST_SUITE_P(Widgets, BindingKinds, ::testing::ValuesIn(kinds()),
                         [](const ::testing::TestParamInfo<Kind>& param) {
                           std::string n = param.param.name;
                           for (char& ch : n)
                             if (ch == ' ') ch = '_';
                           return n;
                         });

TEST(Bindings, AValueTheFieldCannotTakeIsReportedAndTheRowKeepsItsValue) {
  test::CaughtExceptions caught;
  ClientDataSet ds;
  fill(ds);
  TBindingList list(ds);
  QLineEdit qty;
  list.BindEdit(&qty, "Qty");
  qty.clear();
  QTest::keyClicks(&qty, "x");
  EXPECT_EQ(caught.messages.size(), 1);
  EXPECT_EQ(fieldText(ds, "Qty"), "3");
  EXPECT_EQ(qty.text(), "x");  // what the user typed stays for them to correct
  qty.selectAll();
  QTest::keyClicks(&qty, "12");
  EXPECT_EQ(fieldText(ds, "Qty"), "12");
  EXPECT_EQ(caught.messages.size(), 1);
}

TEST(Bindings, TypingIntoAnEmptyDataSetStartsARowAndKeepsTheText) {
  ClientDataSet ds;
  ds.FieldDefinitions() = billFields();
  ds.CreateDataSet();
  TBindingList list(ds);
  QLineEdit name, mirror;
  list.BindEdit(&name, "Name");
  list.BindEdit(&mirror, "Name");
  QTest::keyClicks(&name, "AB");
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  EXPECT_EQ(fieldText(ds, "Name"), "AB");
  EXPECT_EQ(name.text(), "AB");
  EXPECT_EQ(mirror.text(), "AB");  // another box on the same field follows
}

TEST(Bindings, ADateEditShowsNullAsBlankAndKeepsTheTimeOfADateTime) {
  ClientDataSet ds;
  fill(ds);
  TBindingList list(ds);
  QDateEdit day, stamp;
  day.setDisplayFormat("yyyy-MM-dd");
  stamp.setDisplayFormat("yyyy-MM-dd");
  list.BindDate(&day, "BillDate");
  list.BindDate(&stamp, "Stamp");
  EXPECT_EQ(stamp.date(), QDate(2024, 5, 1));
  stamp.setCurrentSection(QDateTimeEdit::DaySection);
  QTest::keyClick(&stamp, Qt::Key_Up);
  EXPECT_EQ(fieldText(ds, "Stamp"), "2024-05-02 08:30:00");
  ds.Post();
  ds.Next();  // a null date-time shows blank
  EXPECT_EQ(stamp.date(), stamp.minimumDate());
  EXPECT_EQ(stamp.text().trimmed(), QString());
  day.setDate(day.minimumDate());  // choosing the blank clears the field
  EXPECT_TRUE(ds.FieldByName("BillDate").IsNull());
}

TEST(CalendarButton, ChoosingADayClosesThePopupAndReportsTheDate) {
  test::CaughtExceptions caught;
  TNxImgCalendarBtn button;
  button.SetDate(QDate(2024, 5, 1));
  button.show();
  EXPECT_FALSE(button.icon().isNull());
  QSignalSpy closed(&button, &TNxImgCalendarBtn::ClosePopup);
  QTest::mouseClick(&button, Qt::LeftButton);
  QPointer<QFrame> popup = button.PopupFrame();
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(popup->isVisible());
  EXPECT_GE(popup->pos().y(), button.mapToGlobal(QPoint(0, button.height())).y() - 1);
  auto* calendar = popup->findChild<QCalendarWidget*>();
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(calendar->selectedDate(), QDate(2024, 5, 1));
  // Arrows move the selection without choosing; Enter chooses.
  QWidget* days = calendar->findChild<QAbstractItemView*>();
  ASSERT_NE(days, nullptr);
  QTest::keyClick(days, Qt::Key_Right);
  EXPECT_EQ(closed.count(), 0);
  QTest::keyClick(days, Qt::Key_Return);
  ASSERT_EQ(closed.count(), 1);
  EXPECT_EQ(closed.at(0).at(0).toDate(), QDate(2024, 5, 2));
  EXPECT_EQ(button.Date(), QDate(2024, 5, 2));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(popup.isNull());
  EXPECT_TRUE(caught.messages.isEmpty());
}
