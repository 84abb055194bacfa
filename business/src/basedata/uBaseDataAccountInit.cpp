#include "uBaseDataAccountInit.h"

VLT_REGISTER_CLASS(uBaseDataAccountInit, TfrmBaseDataAccountInit);

using vlt::components::TColumnDef;

TfrmBaseDataAccountInit::TfrmBaseDataAccountInit(QWidget* owner) : TOpeningBalanceForm(owner) {
  DefineAccountFields(cds1);
}

TfrmBaseDataAccountInit::~TfrmBaseDataAccountInit() = default;

void TfrmBaseDataAccountInit::FormCreate() {
  setWindowTitle("帐户余额初始化");
  FTableName = "ts_accountdetailflow";
  F_Fk = "AccountID,Bid";
  SqlStr =
      "SELECT * from (SELECT M.AccountID,A.name as AccountName,m.Bid,M.IOAmount,M.IODirection FROM "
      "ts_accountdetailflow AS M LEFT JOIN td_account as A on m.AccountID=A.Id) as dlt where "
      "bid=-99";
  UseDataSet(cds1, {{"AccountName", "帐户名称", 180},
                    TColumnDef("IOAmount", "期初帐户余额", 120).Edit(TColumnDef::Editor::Number),
                    {"AccountID", "", 0, false},
                    {"Bid", "", 0, false},
                    {"IODirection", "", 0, false}});
  TOpeningBalanceForm::FormCreate();
}
