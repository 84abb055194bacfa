#include "uBusinessClasses.h"

#include <QLineEdit>
#include <QPointer>
#include <algorithm>
#include <cctype>

#include "vlt/errors.h"
#include "vlt/sqltext.h"

using namespace vlt::host;

namespace {

const QString kNoUserDBPrompt = QStringLiteral("您本次使用业务模块，尚未设置目标帐套，是否选择?");
const QString kNoPowerMessage = QStringLiteral("您没有使用该模块的权限，请创建该帐套的管理申请！");

// The user and account set whose grants the power cache holds. The cache lives for the whole
// run, but a user may switch to another account set: the grants of one set must never decide
// about another, so the cache is loaded again when the pair changes.
std::string& powerCacheKey() {
  static std::string key;
  return key;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Takes the set chosen in the account-set window, if any, as the current one.
void takeChosenUserDB() {
  vlt::ClientDataSet& chosen = GlobalDM().cdsSelectResult;
  if (!chosen.Active() || chosen.IsEmpty()) return;
  const std::string id = chosen.FieldByName("id").AsString();
  const std::string name = chosen.FieldByName("name").AsString();
  if (auto* box = qobject_cast<QLineEdit*>(
          GetFormComponent(QStringLiteral("TfrmMainForm"), QStringLiteral("edtCurDB"))))
    box->setText(QStringLiteral("当前帐套：『") + qs(id) + QStringLiteral("』") + qs(name));
  CurUserInfo().UserDBID = id;
  chosen.EmptyDataSet();
}

}  // namespace

namespace vlt::business {

bool OwnsUserDB(const std::string& userId, const std::string& userDbId) {
  const std::string prefix = userId + "_";
  return !userId.empty() && userDbId.size() > prefix.size() &&
         equalsIgnoringCase(std::string_view(userDbId).substr(0, prefix.size()), prefix);
}

std::string UserPowerSql(const std::string& userId) {
  const bool number = !userId.empty() && std::all_of(userId.begin(), userId.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
  return "select * from ts_userpower where UserID=" + (number ? userId : quotedStr(userId));
}

void SelectCurUserDB() {
  QPointer<TForm> window =
      CreateRttiForm(QStringLiteral("VltControlCenter.bpl"),
                     QStringLiteral("uSelectUserDB.TfrmSelectUserDB"), nullptr);
  // The choice counts also when the window was left by an exception.
  try {
    window->TagString = qs(CurUserInfo().UserID);
    ShowModal(*window);
  } catch (...) {
    delete window;
    takeChosenUserDB();
    throw;
  }
  delete window;
  takeChosenUserDB();
}

TForm* CreateBusinessForm(const QString& qualifiedName, QWidget* owner) {
  // This package's windows are registered when it loads; one not registered comes later.
  if (!ClassRegistered(qualifiedName)) return nullptr;
  return CreateRttiForm(kBusinessPackage, qualifiedName, owner);
}

}  // namespace vlt::business

void CheckCurUserDBAndPower(const std::string& ModuleID) {
  TCurUserInfo& user = CurUserInfo();
  if (user.UserDBID.empty()) {
    if (ConfirmWarning(kNoUserDBPrompt)) vlt::business::SelectCurUserDB();
    // Chosen or not, this pass opens nothing: with a set chosen the user asks again; without
    // one there is no set to open the function in nor to ask for grants.
    Abort();
  }

  if (vlt::business::OwnsUserDB(user.UserID, user.UserDBID)) return;

  vlt::ClientDataSet& cache = GlobalDM().cdsUserPower;
  const std::string key = user.UserID + "\n" + user.UserDBID;
  if (!cache.Active() || powerCacheKey() != key) {
    cache.LoadFromPacket(doServerMethods().GetUserDBDataBySql(
        user.UserDBID, vlt::business::UserPowerSql(user.UserID)));
    powerCacheKey() = key;
  }
  const bool granted =
      cache.FindField("UserID") && cache.FindField("ModuleID") &&
      cache.Locate("UserID;ModuleID", {vlt::Value(user.UserID), vlt::Value(ModuleID)});
  if (!granted) {
    ShowMessage(kNoPowerMessage);
    Abort();
  }
}
