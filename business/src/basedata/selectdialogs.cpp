#include "selectdialogs.h"

#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "uBusinessClasses.h"

using namespace vlt::host;
using vlt::components::TColumnDef;

namespace vlt::business {

namespace {

const QString kNotYetOpen = QStringLiteral("该功能尚未开放，敬请期待！");

}  // namespace

// ---- TBaseDataPickForm --------------------------------------------------------------------------

TBaseDataPickForm::TBaseDataPickForm(QWidget* owner) : TfrmBaseDataSelectForm(owner) {
  lytFilterKind = new QWidget(pnlSelect_Main);
  lytFilterKind->setObjectName("lytFilterKind");
  lytFilterKind->setFixedHeight(22);
  filterKindLayout_ = new QHBoxLayout(lytFilterKind);
  filterKindLayout_->setContentsMargins(2, 0, 2, 0);
  filterKindLayout_->setSpacing(12);
  filterKindLayout_->addStretch(1);
  // Right under the filter box, which the choices steer.
  auto* main = static_cast<QVBoxLayout*>(pnlSelect_Main->layout());
  main->insertWidget(main->indexOf(layTop) + 1, lytFilterKind);
}

TBaseDataPickForm::~TBaseDataPickForm() = default;

QRadioButton* TBaseDataPickForm::AddFilterRadio(const char* name, const QString& text,
                                                std::string filterStr, bool isDefault) {
  auto* radio = new QRadioButton(text, lytFilterKind);
  radio->setObjectName(QString::fromLatin1(name));
  radio->setChecked(isDefault);
  // Keyboard focus stays with the filter box and the list.
  radio->setFocusPolicy(Qt::NoFocus);
  filterKindLayout_->insertWidget(filterKindLayout_->count() - 1, radio);
  connect(radio, &QRadioButton::toggled, this,
          guarded([this, filterStr = std::move(filterStr)](bool checked) {
            if (!checked) return;
            ClearFilterState();
            FFilterStr = filterStr;
          }));
  return radio;
}

bool TBaseDataPickForm::HasCurrentRow() const {
  return cdsSelectData.Active() && cdsSelectData.RecordCount() > 0;
}

std::string TBaseDataPickForm::PickText(const char* field) {
  return cdsSelectData.FieldByName(field).AsString();
}

void TBaseDataPickForm::OpenBaseDataList(const QString& qualifiedName) {
  std::unique_ptr<TForm> window(CreateBusinessForm(qualifiedName, nullptr));
  if (!window) {
    ShowMessage(kNotYetOpen);
    return;
  }
  window->setAttribute(Qt::WA_DeleteOnClose);
  // While this dialog runs modally a plain window would take no input at all. As the newest
  // modal window the list is usable; the dialog waits under it and is there again afterwards.
  window->setWindowModality(Qt::ApplicationModal);
  window->show();
  window.release();  // frees itself when closed
}

// ---- TTraderSelectForm -------------------------------------------------------------------------

TTraderSelectForm::TTraderSelectForm(QWidget* owner, bool isClient)
    : TBaseDataPickForm(owner), isClient_(isClient) {
  // Five columns side by side.
  setFixedSize(isClient ? 560 : 600, 412);
  rbTname = AddFilterRadio("rbTname", isClient ? "客户名称" : "供货商名称", "Name like ", true);
  rbTAddr = AddFilterRadio("rbTAddr", "地址", "Address like ");
  rbTLinkmen = AddFilterRadio("rbTLinkmen", "联系人", "Linkmen like ");
}

TTraderSelectForm::~TTraderSelectForm() = default;

void TTraderSelectForm::FormCreate() {
  setWindowTitle(isClient_ ? "客户选择" : "供货商选择");
  FBaseDataTableName = "td_Trader";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName + " where IsClient='" +
                     (isClient_ ? "True" : "False") + "'";
  FFilterStr = "Name like ";
  grd->Bind(&cdsSelectData, {{"Id", "", 0, false},
                             {"Name", isClient_ ? "客户名称" : "供货商名称", isClient_ ? 120 : 160},
                             {"Address", "地址", 160},
                             {"LinkMen", "联系人", 80},
                             {"Tel", "联系电话", 80},
                             {"Balance", "欠款余额", 80},
                             {"IsClient", "", 0, false}});
  BindGridPick(actOK);
  TBaseDataPickForm::FormCreate();
}

void TTraderSelectForm::actOKExecute() {
  if (!HasCurrentRow()) return;
  Target.Deliver(
      {PickText("ID"), PickText("Name"), cdsSelectData.FieldByName("Balance").AsValue()});
  close();
}

void TTraderSelectForm::actModifyExecute() {
  OpenBaseDataList(isClient_ ? QStringLiteral("uBaseDataClient.TfrmBaseDataClient")
                             : QStringLiteral("uBaseDataVendor.TfrmBaseDataVendor"));
}

}  // namespace vlt::business
