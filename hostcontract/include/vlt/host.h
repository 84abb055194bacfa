#pragma once
// The host services every window uses: the remote proxy, the shared data sets and identities,
// window creation by name, plug-in packages, ids, message boxes and the guard that turns a
// handler's exception into the program's behaviour. Windows reach only these globals.

#include <QDialog>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "vlt/dataset.h"
#include "vlt/servermethods.h"

namespace vlt::host {

// ---- identities and folders ---------------------------------------------------------------

struct TCurUserInfo {
  std::string UserID;  // login ID, decimal text
  std::string NickName;
  std::string HeadImgName;
  std::string UserDBID;  // current account set, empty for none
};

struct TAppVar {
  QString UserFilePath;     // where the local user file lives (ends with '/')
  QString HeadImgPath;      // where the default head picture lives (ends with '/')
  QString UserPath;         // the signed-in user's folder (ends with '/'), set at login
  QString UserHeadImgPath;  // UserPath + "HeaderImgs/", set at login
};

struct TClientVersion {
  QString Version;  // the build number as decimal text
};

TCurUserInfo& CurUserInfo();
TAppVar& AppVar();
// Fills AppVar from the platform's standard per-user data folder and creates it.
void InitAppVar();
TClientVersion& ClientVersion();
// Result code of the last modal window: 99 signed in, 27 an edit window saved.
std::int16_t& FModalResult();

// ---- shared data sets -----------------------------------------------------------------------

class TGlobalDM {
 public:
  TGlobalDM();
  // Selection hand-over: text fields "id", "name", "other1", "other2", "other3".
  ClientDataSet cdsSelectResult;
  // Goods hand-over: id, code, name, spec, typeId, UnitID (text), purPrice, SalPrice (2 places).
  ClientDataSet cdsSelectGoods;
  ClientDataSet cdsSelectBillD;  // source-line hand-over
  ClientDataSet cdsCaleDW;       // calendar entries
  ClientDataSet cdsCaleLoopDW;   // calendar repeat templates
  ClientDataSet cdsUserPower;    // power cache: ts_userpower rows of the current account set
};
TGlobalDM& GlobalDM();

// ---- the remote service --------------------------------------------------------------------

// The shared proxy; callers never free it. Throws vlt::Error when none was set up.
TServerMethodsClient& doServerMethods();
// Installs the proxy (the launcher after it found the service; tests a fake). Also resets the
// id allocator, whose blocks come from the proxy.
void SetServerMethods(std::unique_ptr<TServerMethodsClient> proxy);
// A new unique id text (15 digits), from blocks the service reserves.
std::string GetNewID();

// Where the service is: the address configured in the settings file (key "Service/Address"
// of the per-user settings file Vlt/Vlt.conf, ~/.config/Vlt/Vlt.conf on Linux), else the
// environment variable VLT_SERVICE_URL, else empty, which means the embedded default (a service the
// client starts itself).
QString ConfiguredServiceAddress();
// The address of a page of the service's web site ("reg.htm", "shop.htm", ...), on the
// service the client talks to.
QString ServiceWebAddress(const QString& page = QString());
void SetServiceBaseAddress(const QString& address);
QString ServiceBaseAddress();

// ---- windows --------------------------------------------------------------------------------

// The rules of the program's style file "VltDefault.style" (in the working folder, where the
// launcher applies it from); empty when there is none. Windows shown before the launcher
// applies it to the whole program (the start notice, the sign-in) take it for themselves.
// Windows never carry style rules of their own: they set object names or the property
// "vltRole" that the file selects.
QString DefaultStyleSheet();

// Base of every window: the two hand-over members, the create handler that the factory runs
// right after construction (descendants set their fields, then call the inherited one), and
// the show handler that runs on the first show.
class TForm : public QDialog {
  Q_OBJECT
 public:
  explicit TForm(QWidget* owner = nullptr);
  ~TForm() override;

  int Tag = 0;
  QString TagString;

  virtual void FormCreate() {}
  virtual void FormShow() {}
  // The class name without namespace ("TfrmMainForm").
  QString ClassName() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool shown_ = false;
};

// A module frame: the main window places the root layout it returns in a page.
class IPluginFrame {
 public:
  virtual ~IPluginFrame() = default;
  virtual QWidget* GetBaseControl() = 0;
};

// A class a package offers, by unit-qualified name ("uLoginForm.TfrmLoginForm").
struct TClassInfo {
  QString qualifiedName;
  bool isFrame = false;
  std::function<QWidget*(QWidget* owner)> create;  // constructs; FormCreate not yet run
};

// Registers a class of the package being loaded (or of the program itself).
void RegisterClass(TClassInfo info);

template <class T>
struct ClassRegistrar {
  explicit ClassRegistrar(const char* qualifiedName) {
    RegisterClass(TClassInfo{QString::fromUtf8(qualifiedName), std::is_base_of_v<IPluginFrame, T>,
                             [](QWidget* owner) -> QWidget* { return new T(owner); }});
  }
};

// In a package's source file: VLT_REGISTER_CLASS(uLoginForm, TfrmLoginForm)
#define VLT_REGISTER_CLASS(Unit, Class) \
  static const ::vlt::host::ClassRegistrar<Class> vltRegistered_##Class(#Unit "." #Class)

// Creates a window by package file and unit-qualified class name, loading the package when
// the class is not known yet, and runs its create handler. Throws vlt::Error for an unknown
// class. The two-argument form makes the window the program's main window.
TForm* CreateRttiForm(const QString& package, const QString& qualifiedName, QWidget* owner);
TForm* CreateRttiForm(const QString& package, const QString& qualifiedName);
// Whether some loaded package (or the program) registered the class.
bool ClassRegistered(const QString& qualifiedName);
// The main window set by the two-argument CreateRttiForm, or null.
TForm* MainForm();

// ---- packages --------------------------------------------------------------------------------

// The folder plug-in packages are loaded from: <program folder>/plugins unless set.
QString PluginFolder();
void SetPluginFolder(const QString& folder);
// Loads the package "VltCalendar.bpl" as the platform library VltCalendar from the plug-in
// folder; returns its handle. Throws vlt::Error with the loader's reason when it cannot.
std::uint32_t LoadPlugin(const QString& fileName);
// Frees the components registered for the package, forgets its classes and unloads it.
void UnloadPlugin(std::uint32_t handle);
// The classes a package registered, in registration order.
std::vector<const TClassInfo*> PackageClasses(std::uint32_t handle);
bool IsPluginFrameClass(const TClassInfo* type, const TClassInfo*& frameClass);
// The component is freed when its package is unloaded (unless it was freed before).
void RegisterPluginComponent(std::uint32_t handle, QObject* component);
// A component of an open window, by window class name ("TfrmMainForm") or window, and
// component (object) name; null when there is none.
QObject* GetFormComponent(const QString& formClassName, const QString& componentName);
QObject* GetFormComponent(QWidget* form, const QString& componentName);
// The nearest ancestor of `object` that inherits `className`, or null.
QObject* FindItemParent(QObject* object, const char* className);

// ---- failures --------------------------------------------------------------------------------

// The silent abort: ends a handler without a further message.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};
[[noreturn]] void Abort();

using ExceptionHandler = std::function<void(const std::exception&)>;
// The application exception handler (the login window installs it); none drops everything.
void SetApplicationExceptionHandler(ExceptionHandler handler);
// Hands an escaped exception to the application exception handler; EAbort is dropped.
void HandleException(std::exception_ptr e) noexcept;

// Every handler is connected through this: it runs the handler, swallows the silent abort and
// gives any other exception to the application exception handler, so none reaches Qt. The
// signal's arguments are passed on when the handler takes them (QAction::triggered's bool
// need not be).
template <class F>
auto guarded(F f) {
  return [f = std::move(f)](auto&&... args) mutable {
    try {
      if constexpr (std::is_invocable_v<F&, decltype(args)...>)
        f(std::forward<decltype(args)>(args)...);
      else
        f();
    } catch (...) {
      HandleException(std::current_exception());
    }
  };
}

// ---- user interface services (tests replace them) ------------------------------------------

class THostUi {
 public:
  virtual ~THostUi() = default;
  // An information box with one button.
  virtual void ShowMessage(const QString& text);
  // A warning with Yes and No (Chinese captions); true only for Yes.
  virtual bool ConfirmWarning(const QString& text);
  // Shows the window modally and returns when it closes.
  virtual int ShowModal(QDialog& window);
  // Opens an address with the shell's default verb.
  virtual void OpenUrl(const QString& address, bool activate);
};
THostUi& HostUi();
// Replaces the services (null restores the real ones); returns the old ones.
std::unique_ptr<THostUi> SetHostUi(std::unique_ptr<THostUi> ui);

inline void ShowMessage(const QString& text) {
  HostUi().ShowMessage(text);
}
inline bool ConfirmWarning(const QString& text) {
  return HostUi().ConfirmWarning(text);
}
inline int ShowModal(QDialog& window) {
  return HostUi().ShowModal(window);
}
inline void ShellOpen(const QString& address, bool activate = false) {
  HostUi().OpenUrl(address, activate);
}

// Text conversions between the data layer (UTF-8) and the widgets.
inline QString qs(const std::string& s) {
  return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
  return s.toStdString();
}

}  // namespace vlt::host
