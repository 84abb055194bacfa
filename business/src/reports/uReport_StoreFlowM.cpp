#include "uReport_StoreFlowM.h"

#include <QComboBox>

#include "storegoodsfind.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uReport_StoreFlowM, TfrmRptStoreFlowM);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business::reports;

TfrmRptStoreFlowM::TfrmRptStoreFlowM(QWidget* owner) : TfrmBaseReportForm(owner) {}

void TfrmRptStoreFlowM::FormCreate() {
  FrptType = rtMaster;
  setWindowTitle("库存货品出入库汇总表");
  AddGoodsFindItems(*cbbFiterName);
  GrdMain->Bind(&cdsM, {{"GoodsID", "", 0, false},
                        {"goodsCode", "货品编码", 100},
                        {"goodsname", "货品名称", 150},
                        {"goodsspec", "规格", 100},
                        {"InitQty", "期初结存数量", 110},
                        {"InQty", "本期入库数量", 110},
                        {"OutQty", "本期出库数量", 110},
                        {"BalanceQty", "期末结存数量", 110}});
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptStoreFlowM::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  F_Master_WhereStr.clear();
  FOrderByStr.clear();
  F_Header_WhereStr =
      " where (1=1) and bdate<" + quotedStr(ss(edtStartDate->Date().toString(Qt::ISODate)));
  const std::string period = " where (1=1) " + GetDateArea();
  // The opening stock: the whole years before the start's year and the whole months of it
  // before the start from the stock the database keeps per year and month, the days of the
  // start's month before it from the movements, so that the cost follows the period and not the
  // length of the history.
  const QDate start = edtStartDate->Date();
  const std::string yearStart = quotedStr(ss(QDate(start.year(), 1, 1).toString(Qt::ISODate)));
  const std::string monthStart =
      quotedStr(ss(QDate(start.year(), start.month(), 1).toString(Qt::ISODate)));
  std::string parts =
      "(SELECT GoodsID as goodsid,SUM(Qty) as InitQty,null as Inqty,null as outQty,null as "
      "BalanceQty from ts_goodsyearflow where Year<" +
      yearStart + " group by GoodsID)";
  parts +=
      " union all (SELECT GoodsID,SUM(Qty),null,null,null from ts_goodsmonthflow where Month>=" +
      yearStart + " and Month<" + monthStart + " group by GoodsID)";
  parts +=
      " union all (SELECT goodsid,SUM(qty*ioDirect) as InitQty,null as Inqty,null as outQty,null "
      "as BalanceQty from view_storebillflow " +
      F_Header_WhereStr + " and bdate>=" + monthStart + " group by goodsid)";
  parts +=
      " union all (SELECT goodsid,null as InitQty,sum(qty) as Inqty,null as outQty,null as "
      "BalanceQty from view_storebillflow " +
      period + " and ioDirect='1' group by goodsid)";
  parts +=
      " union all (SELECT goodsid,null as InitQty,null as Inqty,sum(qty) as outQty,null as "
      "BalanceQty from view_storebillflow " +
      period + " and ioDirect='-1' group by goodsid)";
  const std::string column = GoodsFindColumn(FilterIndex());
  MFilterStr = column.empty() ? std::string() : " where g." + column + " like " + FindPattern();
  FcommStrMaster =
      "select goodsid,g.code as goodscode,g.name as goodsname,g.spec as "
      "goodsspec,sum(initQty) as initqty,sum(inQty) as inqty,sum(OutQty) as "
      "outqty,sum(ifnull(initqty,0))+sum(ifnull(inqty,0))-sum(ifnull(outqty,0)) as BalanceQty "
      "from (" +
      parts + ") as dlt left join td_goods G on dlt.goodsid=g.id " + MFilterStr +
      " group by goodsid";
}
