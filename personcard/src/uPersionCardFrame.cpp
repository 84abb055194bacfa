#include "uPersionCardFrame.h"

#include <QAction>
#include <QFrame>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

VLT_REGISTER_CLASS(uPersionCardFrame, TfrmPersionCardframe);

using namespace vlt::host;

namespace {

const QString kPackage = QStringLiteral("VltPersionCard.bpl");

const std::vector<TPersionCardFunction> kFunctions = {
    {"actPC_Out", "支出", "uPersionCardForm.TfrmPersionCardForm", "2", true},
    {"actPC_IN", "收入", "uPersionCardForm.TfrmPersionCardForm", "1", false},
    {"actPC_CardOut", "信用卡消费", "uPersionCardForm.TfrmPersionCardForm", "3", true},
    {"actPC_CardIN", "信用卡还款", "uPersionCardForm.TfrmPersionCardForm", "4", true},
    {"actPC_IOType_IN", "收入类别", "uPersionCardIoType.TfrmPersionCardIoType", "1", true},
    {"actPC_IOType_Out", "支出类别", "uPersionCardIoType.TfrmPersionCardIoType", "2", true},
    {"actPC_IOType_Card", "信用卡类别", "uPersionCardIoType.TfrmPersionCardIoType", "3", true},
    {"btnRptTimeList", "理财流水表", "uReport_PersionCardFlow.TfrmRptPersionCardFlow", "MainData",
     true},
    {"btnMonthSummary", "月度收支概览", "uPersionCardMonthly.TfrmPersionCardMonthly", "", true},
};

// A round coin in the function's colour with one character on it.
QIcon coinIcon(const QColor& colour, const QString& glyph) {
  QIcon icon;
  for (int size : {32, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal r = size * 0.45;
    QRadialGradient fill(size * 0.4, size * 0.35, r * 1.4);
    fill.setColorAt(0, colour.lighter(125));
    fill.setColorAt(1, colour.darker(105));
    p.setPen(QPen(colour.darker(130), size / 32.0));
    p.setBrush(fill);
    p.drawEllipse(QPointF(size / 2.0, size / 2.0), r, r);
    QFont font;
    font.setPixelSize(size / 2);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, glyph);
    icon.addPixmap(pixmap);
  }
  return icon;
}

struct TLook {
  const char* name;
  const char* colour;
  const char* glyph;
};

const TLook kLooks[] = {
    {"actPC_Out", "#d6453d", "支"},         {"actPC_IN", "#2e9a68", "收"},
    {"actPC_CardOut", "#c7832a", "刷"},     {"actPC_CardIN", "#2b7bd6", "还"},
    {"actPC_IOType_IN", "#4f8a6b", "类"},   {"actPC_IOType_Out", "#8a4f4f", "类"},
    {"actPC_IOType_Card", "#4f6b8a", "卡"}, {"btnRptTimeList", "#7b5cc4", "流"},
    {"btnMonthSummary", "#178f95", "月"},
};

QIcon functionIcon(const char* name) {
  for (const TLook& look : kLooks)
    if (qstrcmp(look.name, name) == 0)
      return coinIcon(QColor(QString::fromLatin1(look.colour)), QString::fromUtf8(look.glyph));
  return {};
}

QToolButton* functionButton(QAction* action, QWidget* parent, const QString& name) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setProperty("vltRole", "function");
  button->setDefaultAction(action);
  button->setIconSize(QSize(32, 32));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  button->setFixedHeight(36);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

QWidget* group(QWidget* parent, const char* name) {
  auto* box = new QFrame(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setFrameShape(QFrame::StyledPanel);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(2);
  return box;
}

}  // namespace

const std::vector<TPersionCardFunction>& PersionCardFunctions() {
  return kFunctions;
}

TfrmPersionCardframe::TfrmPersionCardframe(QWidget* owner) : QWidget(owner) {
  setObjectName("frmPersionCardframe");
  setWindowTitle(QStringLiteral("理财"));

  void (TfrmPersionCardframe::*handlers[])() = {&TfrmPersionCardframe::actPC_OutExecute,
                                                &TfrmPersionCardframe::actPC_INExecute,
                                                &TfrmPersionCardframe::actPC_CardOutExecute,
                                                &TfrmPersionCardframe::actPC_CardINExecute,
                                                &TfrmPersionCardframe::actPC_IOType_INExecute,
                                                &TfrmPersionCardframe::actPC_IOType_OutExecute,
                                                &TfrmPersionCardframe::actPC_IOType_CardExecute,
                                                &TfrmPersionCardframe::btnRptTimeListClick,
                                                &TfrmPersionCardframe::btnMonthSummaryClick};
  for (std::size_t i = 0; i < kFunctions.size(); ++i) {
    const TPersionCardFunction& f = kFunctions[i];
    auto* a = new QAction(functionIcon(f.name), QString::fromUtf8(f.text), this);
    a->setObjectName(QString::fromLatin1(f.name));
    addAction(a);
    connect(a, &QAction::triggered, this, guarded([this, h = handlers[i]] { (this->*h)(); }));
  }
  actPC_Out = action("actPC_Out");
  actPC_IN = action("actPC_IN");
  actPC_CardOut = action("actPC_CardOut");
  actPC_CardIN = action("actPC_CardIN");
  actPC_IOType_IN = action("actPC_IOType_IN");
  actPC_IOType_Out = action("actPC_IOType_Out");
  actPC_IOType_Card = action("actPC_IOType_Card");

  lytPersionCard = new QWidget(this);
  lytPersionCard->setObjectName("lytPersionCard");
  grpEntries = group(lytPersionCard, "grpEntries");
  for (QAction* a : {actPC_Out, actPC_IN, actPC_CardOut, actPC_CardIN})
    grpEntries->layout()->addWidget(
        functionButton(a, grpEntries, "btn" + a->objectName().mid(3)));  // actPC_Out -> btnPC_Out
  grpTypes = group(lytPersionCard, "grpTypes");
  for (QAction* a : {actPC_IOType_IN, actPC_IOType_Out, actPC_IOType_Card})
    grpTypes->layout()->addWidget(functionButton(a, grpTypes, "btn" + a->objectName().mid(3)));
  btnRptTimeList = functionButton(action("btnRptTimeList"), lytPersionCard, "btnRptTimeList");
  btnMonthSummary = functionButton(action("btnMonthSummary"), lytPersionCard, "btnMonthSummary");

  auto* column = new QVBoxLayout(lytPersionCard);
  column->setContentsMargins(8, 10, 8, 8);
  column->setSpacing(8);
  column->addWidget(grpEntries);
  column->addWidget(grpTypes);
  column->addWidget(btnRptTimeList);
  column->addWidget(btnMonthSummary);
  column->addStretch(1);
}

QAction* TfrmPersionCardframe::action(const char* name) {
  return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void TfrmPersionCardframe::RunFunction(const TPersionCardFunction& function) {
  try {
    QWidget* owner = function.ownedByFrame ? this : nullptr;
    std::unique_ptr<TForm> window(
        CreateRttiForm(kPackage, QString::fromLatin1(function.className), owner));
    window->TagString = QString::fromLatin1(function.tagString);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window.release();  // frees itself when closed
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
}

namespace {

const TPersionCardFunction& functionNamed(const char* name) {
  for (const TPersionCardFunction& f : kFunctions)
    if (qstrcmp(f.name, name) == 0) return f;
  throw vlt::Error(std::string("no person-card function ") + name);
}

}  // namespace

void TfrmPersionCardframe::actPC_OutExecute() {
  RunFunction(functionNamed("actPC_Out"));
}
void TfrmPersionCardframe::actPC_INExecute() {
  RunFunction(functionNamed("actPC_IN"));
}
void TfrmPersionCardframe::actPC_CardOutExecute() {
  RunFunction(functionNamed("actPC_CardOut"));
}
void TfrmPersionCardframe::actPC_CardINExecute() {
  RunFunction(functionNamed("actPC_CardIN"));
}
void TfrmPersionCardframe::actPC_IOType_INExecute() {
  RunFunction(functionNamed("actPC_IOType_IN"));
}
void TfrmPersionCardframe::actPC_IOType_OutExecute() {
  RunFunction(functionNamed("actPC_IOType_Out"));
}
void TfrmPersionCardframe::actPC_IOType_CardExecute() {
  RunFunction(functionNamed("actPC_IOType_Card"));
}
void TfrmPersionCardframe::btnRptTimeListClick() {
  RunFunction(functionNamed("btnRptTimeList"));
}
void TfrmPersionCardframe::btnMonthSummaryClick() {
  RunFunction(functionNamed("btnMonthSummary"));
}
