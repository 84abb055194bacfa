#include "reportoutput.h"

#include <QAction>
#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include "uBaseReportForm.h"
#include "vlt/gridexport.h"

using namespace vlt;
using namespace vlt::components;

namespace {

QToolButton* menuButton(QWidget* parent, const char* name, const QString& text,
                        const QList<QAction*>& actions) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setText(text);
  b->setFixedHeight(32);
  b->setMinimumWidth(60);
  b->setFocusPolicy(Qt::NoFocus);
  b->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(b);
  menu->addActions(actions);
  b->setMenu(menu);
  return b;
}

bool isDate(const ClientDataSet& data, const TShownColumn& c) {
  if (c.field >= 0) {
    const DataType t = data.Fields()[static_cast<std::size_t>(c.field)].type;
    if (t == DataType::Date || t == DataType::DateTime) return true;
  }
  return c.def.member.contains(QStringLiteral("date"), Qt::CaseInsensitive);
}

bool isNumber(const ClientDataSet& data, const TShownColumn& c) {
  if (c.def.display == TColumnDef::Display::Number) return true;
  return c.field >= 0 && isNumericType(data.Fields()[static_cast<std::size_t>(c.field)].type);
}

bool isName(const TShownColumn& c) {
  return c.def.header.contains(QStringLiteral("名称")) ||
         c.def.member.contains(QStringLiteral("name"), Qt::CaseInsensitive);
}

QString captionOf(const TShownColumn& c) {
  return c.def.header.isEmpty() ? c.def.member : c.def.header;
}

}  // namespace

TReportOutput::TReportOutput(TfrmBaseReportForm* form) : QObject(form), form_(form) {
  setObjectName(QStringLiteral("ReportOutput"));
  TNxStringGrid* grid = form->GrdMain;

  btnExport = ExportMenuButton(grid, form);
  btnExport->setFixedHeight(32);
  btnExport->setMinimumWidth(60);
  form->AddReportTool(btnExport);

  Print = MakePrintActions(form, [this] { return PrintDoc(); });
  btnPrint = menuButton(form, "btnPrint", QStringLiteral("打印"),
                        {Print.actPreview, Print.actPrint, Print.actPdf});
  form->AddReportTool(btnPrint);

  actChart =
      MakeAction(form, "actChart", QStringLiteral("图表"), [this](bool on) { showChart(on); });
  actChart->setCheckable(true);
  btnChart = new QToolButton(form);
  btnChart->setObjectName(QStringLiteral("btnChart"));
  btnChart->setDefaultAction(actChart);
  btnChart->setFixedHeight(32);
  btnChart->setMinimumWidth(60);
  btnChart->setFocusPolicy(Qt::NoFocus);
  form->AddReportTool(btnChart);

  // The grid and the chart side by side, in the grid's place.
  QWidget* area = grid->parentWidget();
  Split = new QSplitter(Qt::Horizontal, area);
  Split->setObjectName(QStringLiteral("splReport"));
  Split->setChildrenCollapsible(false);
  if (auto* box = qobject_cast<QBoxLayout*>(area->layout())) {
    const int at = box->indexOf(grid);
    box->insertWidget(at, Split, 1);
    box->removeWidget(grid);
  }
  Split->addWidget(grid);

  ChartPane = new QWidget(Split);
  ChartPane->setObjectName(QStringLiteral("pnlChart"));
  Chart = new TGridChart(ChartPane);
  actChartPng =
      MakeAction(form, "actChartPng", QStringLiteral("导出图表"), [this] { Chart->ExportPng(); });
  auto* png = ActionButton(actChartPng, ChartPane, "btnChartPng");
  auto* pane = new QVBoxLayout(ChartPane);
  pane->setContentsMargins(4, 0, 0, 0);
  pane->addWidget(Chart, 1);
  auto* strip = new QHBoxLayout();
  strip->addStretch(1);
  strip->addWidget(png);
  pane->addLayout(strip);
  Split->addWidget(ChartPane);
  Split->setStretchFactor(0, 3);
  Split->setStretchFactor(1, 2);
  ChartPane->hide();

  connect(form, &TfrmBaseReportForm::ReportOpened, this, host::guarded([this] {
            offerChart();
            if (ChartPane->isVisibleTo(form_)) refreshChart();
          }));
  // The columns are the report's own once it is created; the button follows them when shown.
  form->installEventFilter(this);
}

bool TReportOutput::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_ && event->type() == QEvent::Show) host::guarded([this] { offerChart(); })();
  return QObject::eventFilter(watched, event);
}

void TReportOutput::offerChart() {
  const bool offered = ChartSetup().has_value();
  actChart->setVisible(offered);
  btnChart->setVisible(offered);
  if (!offered && actChart->isChecked()) showChart(false);
}

TReportOutput* TReportOutput::Of(QObject* form) {
  return form ? form->findChild<TReportOutput*>(QStringLiteral("ReportOutput"),
                                                Qt::FindDirectChildrenOnly)
              : nullptr;
}

void TReportOutput::SetChart(std::optional<TChartSetup> setup) {
  chartSet_ = true;
  chart_ = std::move(setup);
  offerChart();
}

std::optional<TChartSetup> TReportOutput::ChartSetup() const {
  if (chartSet_) return chart_;
  const ClientDataSet& data = form_->cdsM;
  const std::vector<TShownColumn> columns = ShownColumns(*form_->GrdMain);
  const TShownColumn *date = nullptr, *balance = nullptr, *value = nullptr, *name = nullptr,
                     *text = nullptr;
  for (const TShownColumn& c : columns) {
    if (!date && isDate(data, c)) {
      date = &c;
      continue;
    }
    if (isNumber(data, c)) {
      value = &c;
      if (captionOf(c).contains(QStringLiteral("余额")) ||
          c.def.member.contains(QStringLiteral("bal"), Qt::CaseInsensitive))
        balance = &c;
      continue;
    }
    if (!name && isName(c)) name = &c;
    if (!text) text = &c;
  }
  TChartSetup setup;
  setup.title = form_->ReportTitle();
  if (date && balance) {
    setup.kind = TChartSetup::Kind::Lines;
    setup.labelMember = date->def.member;
    setup.valueMember = balance->def.member;
    setup.valueCaption = captionOf(*balance);
    if (name) setup.seriesMember = name->def.member;
    return setup;
  }
  const TShownColumn* label = name ? name : text;
  if (!value || !label || form_->ReportKind() != rtMaster) return std::nullopt;
  setup.kind = TChartSetup::Kind::Bars;
  setup.labelMember = label->def.member;
  setup.valueMember = value->def.member;
  setup.valueCaption = captionOf(*value);
  // Total and subtotal rows are no trader or goods of their own.
  const int field = label->field;
  setup.includeRow = [field](const ClientDataSet& rows, int row) {
    if (field < 0) return true;
    const QString l = host::qs(rows.DisplayValue(row, static_cast<std::size_t>(field)).toText());
    return !l.contains(QStringLiteral("合计")) && !l.contains(QStringLiteral("小计")) &&
           !l.contains(QStringLiteral("总计"));
  };
  return setup;
}

void TReportOutput::showChart(bool on) {
  if (actChart->isChecked() != on) actChart->setChecked(on);
  ChartPane->setVisible(on);
  if (!on) return;
  // The chart takes two fifths of the width when it opens.
  const int width = Split->width();
  Split->setSizes({width * 3 / 5, width - width * 3 / 5});
  refreshChart();
}

void TReportOutput::refreshChart() {
  std::optional<TChartSetup> setup = ChartSetup();
  // An opening balance row has no date of its own: it stands at the start of the range.
  const QDate start = form_->edtStartDate->Date();
  if (setup && setup->kind == TChartSetup::Kind::Lines && !setup->openingDate && start.isValid())
    setup->openingDate = Date::fromYmd(start.year(), start.month(), start.day());
  Chart->SetSetup(setup ? *setup : TChartSetup{});
  Chart->Refresh(setup ? &form_->cdsM : nullptr);
}

TPrintDoc TReportOutput::PrintDoc() const {
  TGridPrintOptions o;
  o.title = form_->ReportTitle();
  o.headLines << QStringLiteral("日期：") + form_->DateRangeText();
  if (const QString find = form_->FilterText(); !find.isEmpty())
    o.headLines << QStringLiteral("查找：") + find;
  if (const QString total = form_->TotalText(); !total.isEmpty())
    o.footLines << QStringLiteral("总合计：") + total;
  return PrintDocFromGrid(*form_->GrdMain, o);
}

TChartSetup BalanceOverTime(const QString& title, const QString& date, const QString& balance,
                            const QString& series, const QString& seriesName) {
  TChartSetup setup;
  setup.kind = TChartSetup::Kind::Lines;
  setup.title = title;
  setup.labelMember = date;
  setup.valueMember = balance;
  setup.seriesMember = series;
  setup.seriesNameMember = seriesName;
  setup.valueCaption = QStringLiteral("余额");
  return setup;
}

void AttachReportOutput(TfrmBaseReportForm* form) {
  new TReportOutput(form);
}
