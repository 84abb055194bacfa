#include "demo.h"

#include <vector>

#include "vlt/calendar.h"
#include "vlt/idalloc.h"

namespace vlt::server {

std::string seedDemoData(DataService& service, const Caller& owner, const std::string& setId) {
  IdAllocator ids([&] {
    IdBlockInfo b = service.ReserveIds(owner);
    return IdBlock{std::stoull(b.first), static_cast<std::uint64_t>(b.count)};
  });
  const std::string today = vlt::today().toString();
  const std::string now = vlt::now().toString();
  auto q = [](const std::string& s) { return "'" + s + "'"; };
  const std::string u1 = ids.next(), u2 = ids.next(), a1 = ids.next(), a2 = ids.next(),
                    t1 = ids.next(), t2 = ids.next(), v1 = ids.next(), c1 = ids.next(),
                    gt = ids.next(), g1 = ids.next(), g2 = ids.next(), g3 = ids.next(),
                    p1 = ids.next(), s1 = ids.next(), r1 = ids.next(), e1 = ids.next();
  const std::string day = today.substr(0, 4) + today.substr(5, 2) + today.substr(8, 2);
  const std::vector<std::string> statements = {
      "insert into td_unit (Id,Name) values (" + q(u1) + ",'个'),(" + q(u2) + ",'箱')",
      "insert into td_account (Id,Name) values (" + q(a1) + ",'现金'),(" + q(a2) + ",'银行存款')",
      "insert into td_accountiotype (Id,Name,IODirect) values (" + q(t1) + ",'利息收入',1),(" +
          q(t2) + ",'房租',-1)",
      "insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) values (" + q(v1) +
          ",'华南食品批发','广州市天河区','王经理','020-12345678','False'),(" + q(c1) +
          ",'街角便利店','广州市越秀区','李老板','13800000000','True')",
      "insert into td_goodstype (Id,Name,PId,LevelCode) values (" + q(gt) + ",'饮料','-1','a1b')",
      "insert into td_goods (Id,Code,Name,Spec,TypeID,UnitID,PurPrice,SalPrice,WsaPrice) values (" +
          q(g1) + ",'G0001','可乐','330ml*24'," + q(gt) + "," + q(u2) + ",36,48,42),(" + q(g2) +
          ",'G0002','矿泉水','550ml'," + q(gt) + "," + q(u1) + ",1,2,1.5),(" + q(g3) +
          ",'G0003','白砂糖','1kg','-9999'," + q(u1) + ",5.5,7.8,7)",
      "insert into tb_pur_purchase (Bid,BDate,BCode,TraderID,IsPay,AccountId,AccAmt,IsStoreIO,"
      "StoreId,CreateOp,CreateTime) values (" +
          q(p1) + "," + q(today) + ",'PP" + day + "0001'," + q(v1) + ",'True'," + q(a2) +
          ",500,'True','100000000000001'," + owner.userId + "," + q(now) + ")",
      "insert into tb_pur_purchase_d (Bid,BNo,GoodsID,UnitID,Qty,Price,TaxRate,Amount,Pause,"
      "doneQty) values (" +
          q(p1) + ",1," + q(g1) + "," + q(u2) + ",10,36,0,360,'false',10),(" + q(p1) + ",2," +
          q(g2) + "," + q(u1) + ",200,1,0,200,'false',200)",
      "insert into tb_sal_sale (Bid,BDate,BCode,TraderID,IsPay,AccountId,AccAmt,IsStoreIO,StoreId,"
      "CreateOp,CreateTime) values (" +
          q(s1) + "," + q(today) + ",'SS" + day + "0001'," + q(c1) +
          ",'False',NULL,0,'True','100000000000001'," + owner.userId + "," + q(now) + ")",
      "insert into tb_sal_sale_d (Bid,BNo,GoodsID,UnitID,Qty,Price,TaxRate,Amount,Pause,doneQty) "
      "values (" +
          q(s1) + ",1," + q(g1) + "," + q(u2) + ",3,48,0,144,'false',3)",
      "insert into tb_bal_gathering (Bid,BDate,BCode,TraderID,AccountId,AccAmt,TrimAmt,CreateOp,"
      "CreateTime) values (" +
          q(r1) + "," + q(today) + ",'SK" + day + "0001'," + q(c1) + "," + q(a1) + ",100,0," +
          owner.userId + "," + q(now) + ")",
      "insert into tb_acc_io (Bid,BDate,BIoDirect,AccountId,AccIoTypeID,AccAmt,Remark,CreateOp,"
      "CreateTime) values (" +
          q(e1) + "," + q(today) + ",-1," + q(a1) + "," + q(t2) + ",50,'本月房租'," + owner.userId +
          "," + q(now) + ")",
  };
  for (const std::string& sql : statements) {
    std::string status = service.doUserDBDataBySql(owner, setId, sql);
    if (status != "0") return status;
  }
  return "0";
}

}  // namespace vlt::server
