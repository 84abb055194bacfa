#include "uBaseDataClientInit.h"

VLT_REGISTER_CLASS(uBaseDataClientInit, TfrmBaseDataClientInit);

using vlt::components::TColumnDef;

TfrmBaseDataClientInit::TfrmBaseDataClientInit(QWidget* owner) : TOpeningBalanceForm(owner) {
  DefineTraderFields(cds1);
}

TfrmBaseDataClientInit::~TfrmBaseDataClientInit() = default;

void TfrmBaseDataClientInit::FormCreate() {
  setWindowTitle("客户应收款初始化");
  FTableName = "ts_traderbalancedetailflow";
  F_Fk = "TraderID,Bid";
  SqlStr =
      "SELECT * from (SELECT M.TraderID,t.name as "
      "traderName,t.IsClient,m.Bid,M.IOAmount,M.IODirection FROM ts_traderbalancedetailflow AS M "
      "LEFT JOIN td_trader as T on m.TraderID=t.Id) as dlt where IsClient='True' and bid='-99'";
  UseDataSet(cds1, {{"traderName", "客户名称", 180},
                    TColumnDef("IOAmount", "期初应收余额", 120).Edit(TColumnDef::Editor::Number),
                    {"TraderID", "", 0, false},
                    {"IsClient", "", 0, false},
                    {"Bid", "", 0, false},
                    {"IODirection", "", 0, false}});
  TOpeningBalanceForm::FormCreate();
}
