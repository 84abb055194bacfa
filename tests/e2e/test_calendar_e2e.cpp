// The calendar against the real service: one user's tasks and templates, made through the
// schedule page and its windows, stay invisible and untouchable for another user, through the
// windows and through any statement the client can send.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <memory>
#include <string>
#include <vector>

#include "fakehost.h"
#include "served_service.h"
#include "vlt/calendar.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

using namespace vlt;
using namespace vlt::host;

namespace {

// The schedule page as the main window makes it: from its package, by its registered class.
std::unique_ptr<QWidget> openSchedule() {
  static const std::uint32_t package = LoadPlugin("VltCalendar.bpl");
  for (const TClassInfo* type : PackageClasses(package)) {
    const TClassInfo* frame = nullptr;
    if (IsPluginFrameClass(type, frame)) return std::unique_ptr<QWidget>(frame->create(nullptr));
  }
  return nullptr;
}

// The titles the page lists, with "(done)" for a finished entry.
std::vector<std::string> titles(QWidget& page) {
  std::vector<std::string> out;
  auto* list = page.findChild<QListWidget*>("lstCale");
  for (int i = 0; i < list->count(); ++i)
    if (QWidget* entry = list->itemWidget(list->item(i)))
      out.push_back(entry->findChild<QLabel*>("title")->text().toStdString() +
                    (entry->isEnabled() ? "" : " (done)"));
  return out;
}

QWidget* entryOf(QWidget& page, const QString& title) {
  auto* list = page.findChild<QListWidget*>("lstCale");
  for (int i = 0; i < list->count(); ++i)
    if (QWidget* entry = list->itemWidget(list->item(i)))
      if (entry->findChild<QLabel*>("title")->text() == title) {
        list->setCurrentRow(i);
        return entry;
      }
  return nullptr;
}

void trigger(QWidget& page, const char* action) {
  page.findChild<QAction*>(action)->trigger();
}

class CalendarE2E : public test::ServedServiceFixture {
 protected:
  std::vector<std::string> rows(const std::string& sql) {
    std::vector<std::string> out;
    for (const Row& r : doServerMethods().GetSysMainDBDataBySql(CurUserInfo().UserID, sql).rows) {
      std::string line;
      for (const Value& v : r)
        line.append(line.empty() ? "" : "|").append(v.toText());
      out.push_back(line);
    }
    return out;
  }
  std::string run(const std::string& sql) { return doServerMethods().doSysMainDBDataBySql(sql); }

  // The task window as a user fills it: a title and once (1) or every day (2).
  void newTask(QWidget& page, const QString& title, int mode) {
    host.ui().scripts["TfrmAddCalendar"] = [title, mode](QDialog& d) {
      d.findChild<QLineEdit*>("edtTitle")->setText(title);
      d.findChild<QRadioButton*>(mode == 2 ? "rbDay" : "rbOnce")->setChecked(true);
      d.findChild<QPushButton*>("btnSave")->click();
      return 0;
    };
    trigger(page, "actAddCale");
  }

  test::HostFixture host;
};

TEST_F(CalendarE2E, OneUsersTasksAndTemplatesAreInvisibleToAnother) {
  const std::string alice = service->CreateUser("甲", "a pw");
  const std::string bob = service->CreateUser("乙", "b pw");
  const std::string today = vlt::today().toString();

  // Alice: a task, a daily template whose occurrence of today she finishes, a changed task.
  signIn(alice, "a pw");
  auto page = openSchedule();
  ASSERT_NE(page, nullptr);
  newTask(*page, "甲的任务", 1);
  newTask(*page, "甲的晨会", 2);
  EXPECT_EQ(titles(*page), (std::vector<std::string>{"甲的任务", "甲的晨会"}));
  QWidget* occurrence = entryOf(*page, "甲的晨会");
  ASSERT_NE(occurrence, nullptr);
  occurrence->findChild<QPushButton*>("btnFinish")->click();
  EXPECT_EQ(titles(*page), (std::vector<std::string>{"甲的任务", "甲的晨会 (done)"}));
  host.ui().scripts["TfrmAddCalendar"] = [](QDialog& d) {
    d.findChild<QLineEdit*>("edtTitle")->setText("甲的任务 'x'");
    d.findChild<QPushButton*>("btnSave")->click();
    return 0;
  };
  ASSERT_NE(entryOf(*page, "甲的任务"), nullptr);
  trigger(*page, "actModify");
  EXPECT_EQ(titles(*page), (std::vector<std::string>{"甲的任务 'x'", "甲的晨会 (done)"}));
  EXPECT_TRUE(host.ui().messages.isEmpty()) << host.ui().messages.join("\n").toStdString();
  page.reset();

  const std::vector<std::string> aliceTasks =
      rows("select ID,Title,Finished,LoopID from usercalendar order by ID");
  const std::vector<std::string> aliceTemplates = rows("select ID,Title from usercalendar_ex");
  ASSERT_EQ(aliceTasks.size(), 2u);
  ASSERT_EQ(aliceTemplates.size(), 1u);
  const std::string taskId = aliceTasks[0].substr(0, aliceTasks[0].find('|'));
  const std::string templateId = aliceTemplates[0].substr(0, aliceTemplates[0].find('|'));
  EXPECT_EQ(templateId.size(), 15u);  // from the id blocks
  // Stored ids stay below the occurrences' range; the database alone gives them.
  EXPECT_LT(std::stoll(taskId), 9900000000LL);
  EXPECT_NE(run("INSERT INTO usercalendar (ID,UserID,Title,Date) VALUES (9900000001," + alice +
                ",'x','" + today + "')"),
            "0");

  // Bob: the page, the week and the template window show nothing of Alice's.
  signIn(bob, "b pw");
  page = openSchedule();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(titles(*page).empty());
  page->findChild<QTabWidget*>("tbcCale")->setCurrentIndex(1);
  EXPECT_TRUE(titles(*page).empty());
  int templatesShown = -1;
  host.ui().scripts["TfrmCalendarLoopEdit"] = [&](QDialog& d) {
    templatesShown = d.findChild<QTableView*>("grdLoop")->model()->rowCount();
    return 0;
  };
  trigger(*page, "actLoopDW");
  EXPECT_EQ(templatesShown, 0);

  // Nor do the statements he can send: reads find nothing, changes change nothing of hers, rows
  // in her name are refused, and a template id of hers is no obstacle to one of his own.
  const std::string q = "'" + alice + "'";
  for (const char* read : {"select * from usercalendar", "select * from usercalendar_ex",
                           "select count(*) from usercalendar where userid = ",
                           "select * from usercalendar_ex where userid = "}) {
    std::string sql = read;
    if (sql.back() == ' ') sql += q;
    const auto found = rows(sql);
    EXPECT_TRUE(found.empty() || found == std::vector<std::string>{"0"}) << sql;
  }
  for (const std::string& change :
       {"update usercalendar set Title='乙改' where ID='" + taskId + "'",
        "update usercalendar set finished='True' where ID='" + taskId + "'",
        "delete from usercalendar where ID='" + taskId + "'",
        "update usercalendar_ex set Title='乙改' where id='" + templateId + "'",
        "delete from  usercalendar_ex where id='" + templateId + "'",
        "update usercalendar set UserID=" + bob + " where UserID=" + alice})
    run(change);
  EXPECT_NE(run("INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,"
                "AlarmTime,RepeatMode,RepeatValue) VALUES (" +
                q + ",'乙写的','" + today + "','','0,0','False','0',null,'1','')"),
            "0");
  EXPECT_NE(run("INSERT INTO usercalendar_ex (ID,UserID,Title,Date) VALUES ('1'," + q +
                ",'乙写的','" + today + "')"),
            "0");
  EXPECT_EQ(
      run("INSERT INTO usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,"
          "RepeatMode,RepeatValue) VALUES ('" +
          templateId + "','" + bob + "','乙的晨会','" + today + "','','0,0','0',null,'2','')"),
      "0");
  page.reset();
  page = openSchedule();
  EXPECT_EQ(titles(*page), std::vector<std::string>{"乙的晨会"});
  page.reset();

  // Alice finds everything as she left it.
  signIn(alice, "a pw");
  EXPECT_EQ(rows("select ID,Title,Finished,LoopID from usercalendar order by ID"), aliceTasks);
  EXPECT_EQ(rows("select ID,Title from usercalendar_ex"), aliceTemplates);
  page = openSchedule();
  EXPECT_EQ(titles(*page), (std::vector<std::string>{"甲的任务 'x'", "甲的晨会 (done)"}));
}

}  // namespace
