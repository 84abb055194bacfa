#include <QDebug>

#include "vlt/embedded.h"
#include "vlt/host.h"

namespace vlt::host {

namespace {

bool refused(const std::string& detail) {
  return detail.find("Connection refused") != std::string::npos;
}

}  // namespace

std::string UnreachableMessage(const std::string& address, const std::string& detail) {
  if (refused(detail))
    return "无法连接数据服务 " + address +
           "（Connection refused），请确认服务已启动、地址和网络正常后重试。";
  return "数据服务 " + address + " 没有应答，请稍后重试。（" + detail + "）";
}

TSupervisedServerMethods::TSupervisedServerMethods(const QString& address,
                                                   TEmbeddedService* embedded)
    : TServerMethodsClient(ss(address)),
      address_(ss(address)),
      embedded_(embedded),
      inner_(std::make_unique<TServerMethodsClient>(address_)) {}

TSupervisedServerMethods::~TSupervisedServerMethods() = default;

void TSupervisedServerMethods::restart() {
  QString address;
  try {
    address = embedded_->Restart();
  } catch (const std::exception& e) {
    // Worded as unreachable, which is what the exception handlers tell the user about.
    throw RemoteError(0,
                      UnreachableMessage(address_, std::string("Connection refused; ") + e.what()));
  }
  ++restarts_;
  qWarning("vlt: the embedded data service had stopped; started again at %s", qPrintable(address));
  address_ = ss(address);
  SetServiceBaseAddress(address);
  inner_ = std::make_unique<TServerMethodsClient>(address_);
  if (!userId_.empty()) inner_->CheckLoginUser(userId_, password_);
}

template <class F>
auto TSupervisedServerMethods::run(F&& op, bool changesData) {
  // A service already dead when the call went out cannot have run it.
  const bool aliveBefore = embedded_ && embedded_->Alive();
  try {
    return op(*inner_);
  } catch (const RemoteError& e) {
    if (e.httpStatus() != 0) throw;
    const std::string detail = e.what();
    if (!embedded_ || embedded_->Running())
      throw RemoteError(0, UnreachableMessage(address_, detail));
    restart();
    // One that died during a change may have made it: a change is not sent twice. Reads are
    // repeated whatever happened (a killed process may still look alive for a moment).
    if (changesData && aliveBefore && !refused(detail)) {
      // Said here: the exception handlers pass over what is not an unreachable service.
      ShowMessage("本机数据服务意外停止，已重新启动；刚才的操作可能没有完成，请查看后重试。");
      Abort();
    }
  }
  try {
    return op(*inner_);
  } catch (const RemoteError& e) {
    if (e.httpStatus() != 0) throw;
    throw RemoteError(0, UnreachableMessage(address_, e.what()));
  }
}

bool TSupervisedServerMethods::CheckLoginUser(const std::string& userId,
                                              const std::string& password) {
  const bool ok = run([&](TServerMethodsClient& p) { return p.CheckLoginUser(userId, password); });
  if (ok) {
    userId_ = userId;
    password_ = password;
  }
  return ok;
}

void TSupervisedServerMethods::Logout() {
  userId_.clear();
  password_.clear();
  try {
    inner_->Logout();
  } catch (const RemoteError&) {
    // A service that is gone has forgotten the session anyway.
  }
}

Packet TSupervisedServerMethods::GetSysMainDBDataBySql(const std::string& userId,
                                                       const std::string& sql) {
  return run([&](TServerMethodsClient& p) { return p.GetSysMainDBDataBySql(userId, sql); });
}

std::string TSupervisedServerMethods::doSysMainDBDataBySql(const std::string& sql) {
  return run([&](TServerMethodsClient& p) { return p.doSysMainDBDataBySql(sql); }, true);
}

std::string TSupervisedServerMethods::SaveSysMainDataBySql(const std::string& userId,
                                                           const std::string& select,
                                                           const Delta& delta) {
  return run([&](TServerMethodsClient& p) { return p.SaveSysMainDataBySql(userId, select, delta); },
             true);
}

Packet TSupervisedServerMethods::GetUserDBDataBySql(const std::string& userDbId,
                                                    const std::string& sql) {
  return run([&](TServerMethodsClient& p) { return p.GetUserDBDataBySql(userDbId, sql); });
}

std::string TSupervisedServerMethods::doUserDBDataBySql(const std::string& userDbId,
                                                        const std::string& sql) {
  return run([&](TServerMethodsClient& p) { return p.doUserDBDataBySql(userDbId, sql); }, true);
}

std::string TSupervisedServerMethods::SaveUserDBDataByDelta(const std::string& userDbId,
                                                            const std::string& table,
                                                            const std::string& keyFields,
                                                            const Delta& delta) {
  return run(
      [&](TServerMethodsClient& p) {
        return p.SaveUserDBDataByDelta(userDbId, table, keyFields, delta);
      },
      true);
}

bool TSupervisedServerMethods::CheckValueIsExistBySql(const std::string& userDbId,
                                                      const std::string& sql) {
  return run([&](TServerMethodsClient& p) { return p.CheckValueIsExistBySql(userDbId, sql); });
}

std::optional<Packet> TSupervisedServerMethods::GetMasterAndDetailData(
    const std::string& userDbId, const std::string& masterTable, const std::string& masterSql,
    const std::string& detailSql) {
  return run([&](TServerMethodsClient& p) {
    return p.GetMasterAndDetailData(userDbId, masterTable, masterSql, detailSql);
  });
}

std::string TSupervisedServerMethods::SaveMasterAndDetailData(const std::string& userDbId,
                                                              const std::string& masterTable,
                                                              const Delta& delta) {
  return run(
      [&](TServerMethodsClient& p) {
        return p.SaveMasterAndDetailData(userDbId, masterTable, delta);
      },
      true);
}

std::string TSupervisedServerMethods::GetBill_MaxBcode(const std::string& userDbId,
                                                       const std::string& prefix,
                                                       const std::string& table,
                                                       const std::string& billDate) {
  return run([&](TServerMethodsClient& p) {
    return p.GetBill_MaxBcode(userDbId, prefix, table, billDate);
  });
}

Packet TSupervisedServerMethods::GetRegisUserInfo(const std::string& userId) {
  return run([&](TServerMethodsClient& p) { return p.GetRegisUserInfo(userId); });
}

std::string TSupervisedServerMethods::CreateUserDB(const std::string& main,
                                                   const std::string& userId,
                                                   const std::string& userDbId,
                                                   const std::string& userDbName,
                                                   const std::string& isDefault) {
  return run(
      [&](TServerMethodsClient& p) {
        return p.CreateUserDB(main, userId, userDbId, userDbName, isDefault);
      },
      true);
}

IdBlock TSupervisedServerMethods::GetNewIDBlock() {
  return run([](TServerMethodsClient& p) { return p.GetNewIDBlock(); });
}

}  // namespace vlt::host
