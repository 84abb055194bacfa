#pragma once
// Clients and vendors share the table td_trader, told apart by IsClient ("True"/"False"); their
// list and edit windows are twins that differ only in the flag and the words. The twins' common
// part lives here; uBaseDataClient* and uBaseDataVendor* give the words.

#include <QLineEdit>
#include <QString>
#include <memory>
#include <string>

#include "uBaseDataEditForm.h"
#include "uBaseDataGridForm.h"
#include "uBusinessClasses.h"

namespace vlt::business {

// The words of one kind of trader.
struct TTraderKind {
  bool isClient;
  QString listCaption;
  QString nameHeader;     // name column of the list, and label of the name box
  QString balanceHeader;  // balance column of the list
  QString editCaption;
  QString addressLabel;
  QString emptyNameMessage;
};
const TTraderKind& ClientKind();
const TTraderKind& VendorKind();

// The flag text stored for the kind.
inline std::string IsClientText(const TTraderKind& kind) {
  return kind.isClient ? "True" : "False";
}

class TTraderEditDialog : public TfrmBaseDataEdit {
  Q_OBJECT
 public:
  TTraderEditDialog(QWidget* owner, const TTraderKind& kind);
  ~TTraderEditDialog() override;

  QLineEdit* edtTraderName;
  QLineEdit* edtTraderAddr;
  QLineEdit* edtTraderLinkMen;
  QLineEdit* edtTraderTel;
  TBaseDataInfo_Trader FTraderInfo;

  void FormShow() override;
  void Vlt_BeforeSaveData() override;
  std::string Vlt_GetInsertStr() override;
  // Only the boxes that changed; the flag and the balance are never written.
  std::string Vlt_GetUpdateStr() override;
  void Vlt_AfterSaveData() override;

 private:
  const TTraderKind& kind_;
};

class TTraderListForm : public TfrmBaseDataGridForm {
  Q_OBJECT
 public:
  TTraderListForm(QWidget* owner, const TTraderKind& kind);
  ~TTraderListForm() override;

  void FormCreate() override;
  void actNewExecute() override;
  void actEditExecute() override;

 protected:
  // The kind's edit dialog, create handler run.
  virtual std::unique_ptr<TTraderEditDialog> CreateEditDialog() const = 0;

 private:
  const TTraderKind& kind_;
};

}  // namespace vlt::business
