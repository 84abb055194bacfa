#include "uAddCalendar.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "calendaralarm.h"
#include "uCalendarClasses.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uAddCalendar, TfrmAddCalendar);

using namespace vlt;
using namespace vlt::host;
using vlt::calendar::FlagText;

namespace {

// The widths of the columns the texts go to, in characters.
constexpr qsizetype kTitleChars = 255;
constexpr qsizetype kRemarkChars = 2000;

// "8:05", "08:05:00": hours and minutes, seconds optional, one or two digits each.
bool readTime(const QString& text, Time& out) {
  static const QRegularExpression pattern(
      QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
  const QRegularExpressionMatch m = pattern.match(text.trimmed());
  if (!m.hasMatch()) return false;
  const int h = m.captured(1).toInt();
  const int min = m.captured(2).toInt();
  const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
  if (h > 23 || min > 59 || s > 59) return false;
  out = Time::fromHms(h, min, s);
  return true;
}

qsizetype characters(const QString& text) {
  return text.toUcs4().size();
}

}  // namespace

TfrmAddCalendar::TfrmAddCalendar(QWidget* owner) : TForm(owner) {
  setObjectName("frmAddCalendar");
  setWindowTitle(QStringLiteral("任务管理"));
  auto* column = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  edtTitle = new QLineEdit(this);
  edtTitle->setObjectName("edtTitle");
  EdtDate = new QDateEdit(this);
  EdtDate->setObjectName("EdtDate");
  EdtDate->setDisplayFormat("yyyy-MM-dd");
  EdtDate->setCalendarPopup(true);
  mmoRemark = new QPlainTextEdit(this);
  mmoRemark->setObjectName("mmoRemark");
  mmoRemark->setFixedHeight(70);
  form->addRow(QStringLiteral("标题："), edtTitle);
  form->addRow(QStringLiteral("日期："), EdtDate);
  form->addRow(QStringLiteral("说明："), mmoRemark);

  auto* levels = new QHBoxLayout;
  chkImportant = new QCheckBox(QStringLiteral("重要"), this);
  chkImportant->setObjectName("chkImportant");
  chkUrgent = new QCheckBox(QStringLiteral("紧急"), this);
  chkUrgent->setObjectName("chkUrgent");
  levels->addWidget(chkImportant);
  levels->addWidget(chkUrgent);
  levels->addStretch(1);
  form->addRow(QStringLiteral("级别："), levels);

  auto* alarm = new QHBoxLayout;
  chkAlarm = new QCheckBox(QStringLiteral("闹钟"), this);
  chkAlarm->setObjectName("chkAlarm");
  edtAlarmTime = new QLineEdit(this);
  edtAlarmTime->setObjectName("edtAlarmTime");
  edtAlarmTime->setPlaceholderText("HH:mm:ss");
  edtAlarmTime->setFixedWidth(90);
  edtAlarmTime->hide();
  alarm->addWidget(chkAlarm);
  alarm->addWidget(edtAlarmTime);
  alarm->addStretch(1);
  form->addRow(QString(), alarm);
  column->addLayout(form);

  grpRepeat = new QGroupBox(QStringLiteral("重复设置"), this);
  grpRepeat->setObjectName("grpRepeat");
  auto* repeat = new QVBoxLayout(grpRepeat);
  auto* modes = new QHBoxLayout;
  rbOnce = new QRadioButton(QStringLiteral("不重复"), grpRepeat);
  rbOnce->setObjectName("rbOnce");
  rbDay = new QRadioButton(QStringLiteral("每天"), grpRepeat);
  rbDay->setObjectName("rbDay");
  rbWeek = new QRadioButton(QStringLiteral("每周"), grpRepeat);
  rbWeek->setObjectName("rbWeek");
  rbOnce->setChecked(true);
  for (QRadioButton* rb : {rbOnce, rbDay, rbWeek})
    modes->addWidget(rb);
  modes->addStretch(1);
  repeat->addLayout(modes);
  pnlWeekDays = new QWidget(grpRepeat);
  pnlWeekDays->setObjectName("pnlWeekDays");
  auto* days = new QGridLayout(pnlWeekDays);
  days->setContentsMargins(0, 0, 0, 0);
  const char* const names[] = {"chkOne",  "chkTwo", "chkThree", "chkFour",
                               "chkFive", "chkSix", "chkSeven"};
  const char* const captions[] = {"星期一", "星期二", "星期三", "星期四",
                                  "星期五", "星期六", "星期日"};
  for (int i = 0; i < 7; ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(captions[i]), pnlWeekDays);
    box->setObjectName(names[i]);
    days->addWidget(box, i / 4, i % 4);
    chkDays[static_cast<std::size_t>(i)] = box;
  }
  pnlWeekDays->hide();
  repeat->addWidget(pnlWeekDays);
  column->addWidget(grpRepeat);

  lblID = new QLabel(this);
  lblID->setObjectName("lblID");
  lblID->hide();
  btnSave = new QPushButton(QStringLiteral("保存"), this);
  btnSave->setObjectName("btnSave");
  btnSave->setAutoDefault(false);
  column->addWidget(btnSave, 0, Qt::AlignRight);

  connect(chkAlarm, &QCheckBox::toggled, this, guarded([this] { chkAlarmChange(); }));
  connect(rbWeek, &QRadioButton::toggled, this, guarded([this] { rbWeekChange(); }));
  connect(btnSave, &QPushButton::clicked, this, guarded([this] { btnSaveClick(); }));
  resize(360, sizeHint().height());
}

void TfrmAddCalendar::FormShow() {
  if (TagString == "OsAppend") {
    EdtDate->setDate(ToQDate(calendar::Today()));
    return;
  }
  if (TagString != "OsEdit") return;
  ClientDataSet& row = Tag == 201 ? GlobalDM().cdsCaleLoopDW : GlobalDM().cdsCaleDW;
  auto text = [&row](const char* name) {
    const Field* f = row.FindField(name);
    return f ? f->AsString() : std::string();
  };
  lblID->setText(qs(text("id")));
  EdtDate->setDate(ToQDate(Date::parse(text("Date"))));
  edtTitle->setText(qs(text("title")));
  mmoRemark->setPlainText(qs(text("remark")));
  bool important = false;
  bool urgent = false;
  calendar::SplitLevel(text("level"), important, urgent);
  chkImportant->setChecked(important);
  chkUrgent->setChecked(urgent);
  {
    const QSignalBlocker quiet(chkAlarm);
    chkAlarm->setChecked(calendar::TextToBool(text("isAlarm")));
  }
  edtAlarmTime->setVisible(chkAlarm->isChecked());
  if (chkAlarm->isChecked()) {
    Time at;
    const std::string stored = text("AlarmTime");
    edtAlarmTime->setText(qs(Time::tryParse(stored, at) ? at.toString() : stored));
  }
  const std::string mode = text("RepeatMode");
  (mode == "2" ? rbDay : mode == "3" ? rbWeek : rbOnce)->setChecked(true);
  if (mode == "3") {
    const QStringList numbers = qs(text("RepeatValue")).split(',');
    for (const QString& n : numbers) {
      bool ok = false;
      const int day = n.trimmed().toInt(&ok);
      if (ok && day >= 1 && day <= 7) chkDays[static_cast<std::size_t>(day - 1)]->setChecked(true);
    }
  }
}

void TfrmAddCalendar::chkAlarmChange() {
  edtAlarmTime->setVisible(chkAlarm->isChecked());
  if (chkAlarm->isChecked()) edtAlarmTime->setText(qs(calendar::Now().time().toString()));
}

void TfrmAddCalendar::rbWeekChange() {
  pnlWeekDays->setVisible(rbWeek->isChecked());
}

std::string TfrmAddCalendar::LevelText() const {
  return FlagText(chkImportant->isChecked()) + "," + FlagText(chkUrgent->isChecked());
}

std::string TfrmAddCalendar::AlarmFlagText() const {
  return FlagText(chkAlarm->isChecked());
}

std::string TfrmAddCalendar::ModeText() const {
  return rbDay->isChecked() ? "2" : rbWeek->isChecked() ? "3" : "1";
}

std::string TfrmAddCalendar::WeekdaysText() const {
  if (!rbWeek->isChecked()) return {};
  std::string days;
  for (std::size_t i = 0; i < chkDays.size(); ++i)
    if (chkDays[i]->isChecked()) {
      if (!days.empty()) days += ',';
      days += std::to_string(i + 1);
    }
  return days;
}

void TfrmAddCalendar::btnSaveClick() {
  const QString title = edtTitle->text();
  if (title.trimmed().isEmpty()) {
    ShowMessage(QStringLiteral("标题不能为空！"));
    Abort();
  }
  if (rbWeek->isChecked() && WeekdaysText().empty()) {
    ShowMessage(QStringLiteral("您选择了每周重复，请至少选择一个星期内的某一天！"));
    Abort();
  }
  // Refused here rather than cut off by the database or lost with the window.
  if (characters(title) > kTitleChars) {
    ShowMessage(QStringLiteral("标题不能超过%1个字符！").arg(kTitleChars));
    Abort();
  }
  if (characters(mmoRemark->toPlainText()) > kRemarkChars) {
    ShowMessage(QStringLiteral("说明不能超过%1个字符！").arg(kRemarkChars));
    Abort();
  }
  std::string alarm = "null";
  if (chkAlarm->isChecked()) {
    Time at;
    if (!readTime(edtAlarmTime->text(), at)) {
      ShowMessage(QStringLiteral("闹钟时间无效，请输入“时:分:秒”，例如 08:30:00！"));
      Abort();
    }
    alarm = quotedStr(at.toString());
  }
  const std::string login = CurUserInfo().UserID;
  const std::string date = ss(EdtDate->date().toString("yyyy-MM-dd"));
  const std::string q = quotedStr(ss(title));
  const std::string remark = quotedStr(ss(mmoRemark->toPlainText()));
  std::string sql;
  if (TagString == "OsAppend") {
    if (rbOnce->isChecked()) {
      sql =
          "INSERT INTO usercalendar (UserID,Title,Date,Remark,Level,Finished,IsAlarm,AlarmTime,"
          "RepeatMode,RepeatValue) VALUES (" +
          quotedStr(login) + "," + q + "," + quotedStr(date) + "," + remark + "," +
          quotedStr(LevelText()) + "," + "'False'" + "," + quotedStr(AlarmFlagText()) + "," +
          alarm + "," + quotedStr(ModeText()) + "," + quotedStr(WeekdaysText()) + ")";
    } else {
      // Ids from the host's allocator: unique however fast templates are made.
      sql =
          "INSERT INTO usercalendar_ex (ID,UserID,Title,Date,Remark,Level,IsAlarm,AlarmTime,"
          "RepeatMode,RepeatValue) VALUES (" +
          quotedStr(GetNewID()) + "," + quotedStr(login) + "," + q + "," + quotedStr(date) + "," +
          remark + "," + quotedStr(LevelText()) + "," + quotedStr(AlarmFlagText()) + "," + alarm +
          "," + quotedStr(ModeText()) + "," + quotedStr(WeekdaysText()) + ")";
    }
  } else {
    std::string table = "usercalendar_ex";
    if (Tag != 201) {
      const Field* loop = GlobalDM().cdsCaleDW.FindField("LoopID");
      if (loop && !loop->AsString().empty()) {
        ShowMessage(QStringLiteral("此任务为重复性任务，请在重复任务编辑中操作！"));
        Abort();
      }
      table = "usercalendar";
    }
    sql = "update " + table + " set UserID=" + quotedStr(login) + "," + "Title=" + q + "," +
          "Date=" + quotedStr(date) + "," + "Remark=" + remark + "," +
          "Level=" + quotedStr(LevelText()) + "," + "IsAlarm=" + quotedStr(AlarmFlagText()) + "," +
          "AlarmTime=" + alarm + "," + "RepeatMode=" + quotedStr(ModeText()) + "," +
          "RepeatValue=" + quotedStr(WeekdaysText()) + " where id=" + quotedStr(ss(lblID->text()));
  }
  const std::string status = doServerMethods().doSysMainDBDataBySql(sql);
  if (status != "0") {
    ShowMessage(QStringLiteral("保存失败，请检查数据!---") + qs(status));
    return;
  }
  accept();
}
