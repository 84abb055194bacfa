#pragma once
// What the person-card window tests share: the package, the signed-in user, the answers of the
// fake service for the user's categories and entries, and opening a window of a kind.

#include <QDate>
#include <QString>
#include <memory>
#include <string>

#include "fakehost.h"
#include "vlt/host.h"

namespace vlt::test {

inline const QString kPkg = "VltPersionCard.bpl";
inline constexpr const char* kUser = "10001";

// Categories of every kind, as the service gives them to the user.
inline Packet Categories() {
  return packetOf({"Id", "UserID", "IOKind", "IODirect", "IOType"},
                  {{"11", kUser, "1", "1", "工资"},
                   {"12", kUser, "2", "-1", "餐饮"},
                   {"13", kUser, "2", "-1", "房租"},
                   {"14", kUser, "3", "-1", "招商银行卡"},
                   {"15", kUser, "3", "-1", "工商银行卡"}});
}

inline std::string Iso(const QDate& d) {
  return d.toString(Qt::ISODate).toStdString();
}

// Signs the fake user in and answers the category statement.
inline void SignIn(HostFixture& h) {
  host::CurUserInfo().UserID = kUser;
  host::CurUserInfo().UserDBID = "10001_01";
  host::FModalResult() = 0;
  host::GlobalDM().cdsSelectResult.EmptyDataSet();
  h.proxy().answer("UserPersionIOType", Categories());
}

// Creates the window by name with its Tag and TagString, then shows it (its FormShow runs).
template <class T>
std::unique_ptr<T> OpenKind(HostFixture& h, const char* name, const QString& tagString,
                            int tag = 0) {
  SignIn(h);
  auto w = createWindow<T>(kPkg, name, tagString);
  if (w) {
    w->Tag = tag;
    showSettled(*w);
  }
  return w;
}

}  // namespace vlt::test
