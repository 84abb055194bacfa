#include "uCalendarClasses.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "vlt/host.h"

TCaleListItem::TCaleListItem(QWidget* parent) : QWidget(parent) {
  setObjectName("CaleListItem");
  setProperty("vltRole", "CaleListStyle");
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedHeight(45);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 2, 4, 2);
  row->setSpacing(4);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(0);
  date = new QLabel(this);
  date->setObjectName("date");
  title = new QLabel(this);
  title->setObjectName("title");
  title->setTextFormat(Qt::PlainText);
  title->setMinimumWidth(40);
  title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  date->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  texts->addWidget(date);
  texts->addWidget(title);
  row->addLayout(texts, 1);
  important = new QLabel(QStringLiteral("重要"), this);
  important->setObjectName("important");
  urgent = new QLabel(QStringLiteral("紧急"), this);
  urgent->setObjectName("urgent");
  row->addWidget(important);
  row->addWidget(urgent);
  btnFinish = new QPushButton(QStringLiteral("完成"), this);
  btnFinish->setObjectName("btnFinish");
  btnDel = new QPushButton(QStringLiteral("删除"), this);
  btnDel->setObjectName("btnDel");
  for (QPushButton* b : {btnFinish, btnDel}) {
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedWidth(40);
    row->addWidget(b);
  }
  important->hide();
  urgent->hide();
}

void TCaleListItem::SeTCalendarInfo(const TCalendarInfo& info) {
  FCalendarInfo = info;
  date->setText(vlt::host::qs(info.Date));
  // One line: the full text (a remark may be long) is in the tool tip.
  const QString text = vlt::host::qs(info.Title);
  title->setText(text.section('\n', 0, 0));
  title->setToolTip(text + (info.ReMark.empty() ? QString() : "\n" + vlt::host::qs(info.ReMark)));
  important->setVisible(info.Important);
  urgent->setVisible(info.Urgent);
}
