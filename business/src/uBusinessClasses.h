#pragma once
// What every function of the business module shares: the gate that decides whether the current
// user may use a function in the current account set, window creation by name within the
// package, and the records through which a base-data list hands its selected row to the edit
// window.

#include <QString>
#include <cstdint>
#include <string>

#include "vlt/decimal.h"
#include "vlt/host.h"

// Returns when the current user may use the function `ModuleID` ("DB_10001") in the current
// account set; otherwise ends the calling action with the silent abort, after any message it
// shows. Without a current account set it offers the account-set window; the function is not
// opened in that pass. Call it before creating anything and outside the caller's own exception
// handling, so that the silent abort adds no message.
void CheckCurUserDBAndPower(const std::string& ModuleID);

namespace vlt::business {

inline const QString kBusinessPackage = QStringLiteral("VltBusiness.bpl");

// Whether the account set belongs to the user. Account-set ids are the owner's login ID, "_" and
// a number, so the ID must be followed by the "_": a user 123 does not own 1234_01.
bool OwnsUserDB(const std::string& userId, const std::string& userDbId);
// The statement that loads the user's grants into the power cache. Login IDs are numbers and go
// in unquoted; anything else is quoted so that it stays a value.
std::string UserPowerSql(const std::string& userId);
// Shows the account-set window modally; a set chosen there becomes the current one (CurUserInfo
// and the main window's account-set box).
void SelectCurUserDB();

// Creates a window of this package by unit-qualified name with its create handler run; null when
// no such window is registered (a function still to come). Other failures are thrown.
host::TForm* CreateBusinessForm(const QString& qualifiedName, QWidget* owner);

}  // namespace vlt::business

// ---- base-data transfer records -------------------------------------------------------------
// A list window fills the record of its edit window from the selected row before showing it in
// "Edit" mode; the edit window shows it, compares against it to build its update and uses its ID
// in the update's where-clause. Flags stay the stored texts "True"/"False". Money is exact
// (Decimal), so a price or balance comes back unchanged when it is not edited.

struct TBaseDataInfo_Unit {
  QString ID;
  QString Name;
};

struct TBaseDataInfo_Goods {
  QString ID;
  QString Code;
  QString Name;
  QString Spec;
  QString TypeId;
  QString TypeName;
  QString UnitID;
  QString UnitName;
  QString Kind;
  QString CostKeeping;
  QString BarCode;
  vlt::Decimal PurPrice;
  vlt::Decimal SalPrice;
  vlt::Decimal WsaPrice;
  QString Pause;
  QString ReMark;
  QString ExistPic;
};

struct TBaseDataInfo_Trader {
  QString ID;
  QString Name;
  QString Address;
  QString LinkMen;
  QString Tel;
  vlt::Decimal Balance;
  QString IsClient;
};

struct TBaseDataInfo_Account {
  QString ID;
  QString Name;
  vlt::Decimal Balance;
};

struct TBaseDataInfo_GoodsType {
  QString ID;
  QString Name;
  QString PId;        // parent type id, "-1" for a top-level type
  QString LevelCode;  // the type's place in the tree
};

struct TBaseDataInfo_AccountIOType {
  QString ID;
  QString Name;
  std::int8_t IODirect = 0;  // 1 income, -1 expense
};
