#include "uReport_PersionCardFlow.h"

#include <QComboBox>

#include "persioncardkinds.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uReport_PersionCardFlow, TfrmRptPersionCardFlow);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::persioncard;
using vlt::components::TColumnDef;

namespace {

constexpr std::int64_t kOpeningRow = -1;
constexpr std::int64_t kCardSpending = 3;

}  // namespace

TfrmRptPersionCardFlow::TfrmRptPersionCardFlow(QWidget* owner) : TfrmBaseReportForm(owner) {
  resize(1100, 600);
}

TfrmRptPersionCardFlow::~TfrmRptPersionCardFlow() = default;

void TfrmRptPersionCardFlow::FormCreate() {
  FrptType = rtDeltail;
  setWindowTitle("理财流水表");
  FcommStrMaster =
      "select ID,UserID,IOType,bdate,IOAmt,0 as balance,Remark,IODirect,IOKind,1 as sortID,CASE "
      "WHEN IOKind=1 then '收入' WHEN IOKind=2 then '支出' WHEN IOKind=3 then '信用卡消费' WHEN "
      "IOKind=4 then '信用卡还款' END as iodirectCn from userpersincard ";
  FcommStrHeader =
      "select null as ID,null as UserID,null as IOType,null as bdate,null as IOAmt,"
      "ifnull(sum(IOAmt*IODirect),0) as balance,null as Remark,null as IODirect,null as IOKind,"
      "-1 as sortID,'期初余额' as iodirectCn from userpersincard";
  FOrderByStr = " order BY sortID,bdate,ID";
  // No name to find: the find choice keeps only "全部".
  cbbFiterName->setEnabled(false);
  GrdMain->Bind(&cdsM, {{"bdate", "日期", 100},
                        {"iodirectCn", "收支类型", 100},
                        TColumnDef("IOAmt", "金额", 110).Number(2),
                        TColumnDef("balance", "现金余额", 120).Number(2),
                        {"IOType", "类别", 140},
                        {"Remark", "附注说明", 260},
                        {"IODirect", "", 0, false},
                        {"IOKind", "", 0, false}});
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptPersionCardFlow::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  const std::string mine = " and (userID=" + QuotedLogin() + ")";
  F_Master_WhereStr = " where (1=1) " + GetDateArea() + mine;
  // The dates were checked before: the start is written in the one form the server reads.
  F_Header_WhereStr =
      " where (1=1) and bdate<" + quotedStr(ss(edtStartDate->Date().toString(Qt::ISODate))) + mine;
}

void TfrmRptPersionCardFlow::doCdsEnableControls() {
  if (cdsM.Active() && !cdsM.IsEmpty()) {
    Field& sort = cdsM.FieldByName("sortID");
    Field& kind = cdsM.FieldByName("IOKind");
    Field& amount = cdsM.FieldByName("IOAmt");
    Field& direct = cdsM.FieldByName("IODirect");
    Field& balance = cdsM.FieldByName("balance");
    // Exact decimals: the running balance of a year of entries is the sum of its amounts.
    Decimal running;
    for (cdsM.First(); !cdsM.Eof(); cdsM.Next()) {
      if (sort.AsLargeInt() == kOpeningRow) {
        running = balance.IsNull() ? Decimal() : balance.AsDecimal();
        continue;
      }
      if (kind.AsLargeInt() != kCardSpending && !amount.IsNull() && !direct.IsNull())
        running = running + amount.AsDecimal() * Decimal(direct.AsLargeInt(), 0);
      cdsM.Edit();
      balance.SetValue(Value(running));
      cdsM.Post();
    }
    // The balances are the report's own; nothing is to be saved.
    cdsM.MergeChangeLog();
    cdsM.First();
  }
  TfrmBaseReportForm::doCdsEnableControls();
}
