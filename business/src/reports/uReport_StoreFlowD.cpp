#include "uReport_StoreFlowD.h"

#include <QComboBox>

#include "storegoodsfind.h"

VLT_REGISTER_CLASS(uReport_StoreFlowD, TfrmRptStoreFlowD);

using namespace vlt;
using namespace vlt::business::reports;

namespace {

const char* const kJoins =
    "from view_storebillflow m LEFT JOIN td_goods g ON m.GoodsID=g.id LEFT JOIN td_unit u ON "
    "m.UnitID=u.Id LEFT JOIN td_store t on m.StoreId=t.Id ";
const char* const kOrder = " ORDER BY goodsid,sortid,bcode";

}  // namespace

TfrmRptStoreFlowD::TfrmRptStoreFlowD(QWidget* owner) : TfrmBaseReportForm(owner) {}

void TfrmRptStoreFlowD::FormCreate() {
  FcommStrMaster = std::string(
                       "SELECT m.bid,m.bno,m.bdate,m.bcode,m.storeid,t.Name as "
                       "storename,m.GoodsID,g.Code as goodscode,g.Name as goodsname,g.Spec as "
                       "goodsspec,m.UnitID,u.Name as unitname,(qty*iodirect) as "
                       "Qty,if(m.ioDirect=1,'入库','出库') as ioDirect,1 as sortID ") +
                   kJoins;
  FcommStrHeader =
      std::string(
          "SELECT null as bid,null as bno,null as bdate,CONCAT('『',g.code,':',g.name,"
          "'_',g.spec,' 』') as bcode,null as storeid,null as storename,m.GoodsID,null "
          "as  goodscode,null as goodsname,null as goodsspec,null as UnitID,null as "
          "unitname,null as Qty,null as ioDirect,-1 as sotrID ") +
      kJoins;
  FcommStrTotal =
      std::string(
          "SELECT null as bid,null as bno,null as bdate,'小计' as bcode,null as "
          "storeid,null as storename,m.GoodsID,null as  goodscode,null as "
          "goodsname,null as goodsspec,null as UnitID,null as unitname,sum(qty*iodirect) "
          "as Qty,null as ioDirect,999998 as sotrID ") +
      kJoins;
  FcommStrSeparate =
      std::string(
          "SELECT null as bid,null as bno,null as bdate,null as bcode,null as "
          "storeid,null as storename,m.GoodsID,null as  goodscode,null as "
          "goodsname,null as goodsspec,null as UnitID,null as unitname,null Qty,null "
          "as ioDirect,999999 as sotrID ") +
      kJoins;
  FGroupBystr = " GROUP BY goodsID";
  FOrderByStr = kOrder;
  FrptType = rtDeltail;
  setWindowTitle("库存货品出入库明细表");
  AddGoodsFindItems(*cbbFiterName);
  GrdMain->Bind(&cdsM, {{"bdate", "日期", 90},
                        {"bcode", "单号", 220},
                        {"storename", "仓库", 100},
                        {"ioDirect", "出入库类型", 90},
                        {"unitname", "计量单位", 80},
                        {"Qty", "数量", 100},
                        {"GoodsID", "", 0, false},
                        {"sortID", "", 0, false}});
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptStoreFlowD::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  const std::string where = " where (1=1) " + GetDateArea();
  F_Master_WhereStr = F_Header_WhereStr = F_Total_WhereStr = F_Separate_WhereStr = where;
  const std::string column = GoodsFindColumn(FilterIndex());
  FOrderByStr = column.empty() ? std::string(kOrder)
                               : " where goodsid in (select id from td_goods where " + column +
                                     " like " + FindPattern() + ")" + kOrder;
}
