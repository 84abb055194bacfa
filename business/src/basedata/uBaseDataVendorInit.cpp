#include "uBaseDataVendorInit.h"

VLT_REGISTER_CLASS(uBaseDataVendorInit, TfrmBaseDataVendorInit);

using vlt::components::TColumnDef;

TfrmBaseDataVendorInit::TfrmBaseDataVendorInit(QWidget* owner) : TOpeningBalanceForm(owner) {
  DefineTraderFields(cds);
}

TfrmBaseDataVendorInit::~TfrmBaseDataVendorInit() = default;

void TfrmBaseDataVendorInit::FormCreate() {
  setWindowTitle("供货商应付款初始化");
  FTableName = "ts_traderbalancedetailflow";
  F_Fk = "TraderID,Bid";
  SqlStr =
      "SELECT * from (SELECT M.TraderID,t.name as "
      "traderName,t.IsClient,m.Bid,M.IOAmount,M.IODirection FROM ts_traderbalancedetailflow AS M "
      "LEFT JOIN td_trader as T on m.TraderID=t.Id) as dlt where IsClient='False' and bid='-99'";
  UseDataSet(cds, {{"traderName", "供货商名称", 180},
                   TColumnDef("IOAmount", "期初应付余额", 120).Edit(TColumnDef::Editor::Number),
                   {"TraderID", "", 0, false},
                   {"IsClient", "", 0, false},
                   {"Bid", "", 0, false},
                   {"IODirection", "", 0, false}});
  TOpeningBalanceForm::FormCreate();
}
