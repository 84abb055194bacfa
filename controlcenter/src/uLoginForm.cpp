#include "uLoginForm.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <string_view>

#include "vlt/dataset.h"

using namespace vlt::host;
using ordered_json = nlohmann::ordered_json;

VLT_REGISTER_CLASS(uLoginForm, TfrmLoginForm);

namespace {

const QString kUserFileName = QStringLiteral("NxLoad.bmp");

bool sameId(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString textOf(const ordered_json& j) {
  return QString::fromStdString(j.get<std::string>());
}

}  // namespace

// ---- the local user file ------------------------------------------------------------------

void TLocalUserFile::Load(const QString& fileName) {
  json_ = ordered_json::object();
  QFile file(fileName);
  if (file.exists() && file.open(QIODevice::ReadOnly)) {
    const QByteArray text = file.readAll();
    ordered_json parsed = ordered_json::parse(text.begin(), text.end(), nullptr, false);
    if (!parsed.is_discarded()) json_ = std::move(parsed);
  }
  Normalize();
}

// Keeps what has the expected shape and drops or resets what has not, so that reading and
// the rewrite at login can rely on the types.
void TLocalUserFile::Normalize() {
  if (!json_.is_object()) json_ = ordered_json::object();
  if (auto d = json_.find("DefaultUser"); d != json_.end() && !d->is_string()) json_.erase(d);
  auto users = json_.find("Users");
  if (users == json_.end()) return;
  if (!users->is_array()) {
    *users = ordered_json::array();
    return;
  }
  ordered_json kept = ordered_json::array();
  for (ordered_json& entry : *users) {
    if (!entry.is_object()) continue;
    auto id = entry.find("UserID");
    if (id == entry.end() || !id->is_string()) continue;
    if (auto pw = entry.find("UserPW"); pw == entry.end() || !pw->is_string()) entry["UserPW"] = "";
    if (auto save = entry.find("SavePW"); save == entry.end() || !save->is_boolean())
      entry["SavePW"] = false;
    kept.push_back(std::move(entry));
  }
  *users = std::move(kept);
}

bool TLocalUserFile::Save(const QString& fileName) const {
  const std::string text = json_.dump(-1, ' ', true, ordered_json::error_handler_t::replace);
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit();
}

QString TLocalUserFile::DefaultUser() const {
  auto d = json_.find("DefaultUser");
  return d == json_.end() ? QString() : textOf(*d);
}

void TLocalUserFile::SetDefaultUser(const QString& loginId) {
  json_["DefaultUser"] = ss(loginId);
}

std::vector<TLocalUserFile::TEntry> TLocalUserFile::Users() const {
  std::vector<TEntry> out;
  auto users = json_.find("Users");
  if (users == json_.end()) return out;
  for (const ordered_json& entry : *users)
    out.push_back(TEntry{textOf(entry.at("UserID")), textOf(entry.at("UserPW")),
                         entry.at("SavePW").get<bool>()});
  return out;
}

void TLocalUserFile::Remember(const QString& loginId, const QString& password, bool savePassword) {
  ordered_json& users = json_["Users"];
  if (!users.is_array()) users = ordered_json::array();
  bool found = false;
  for (ordered_json& entry : users) {
    if (!sameId(textOf(entry.at("UserID")), loginId)) continue;
    found = true;
    entry["UserID"] = ss(loginId);
    entry["UserPW"] = savePassword ? ss(password) : std::string();
    entry["SavePW"] = savePassword;
  }
  if (!found) {
    ordered_json entry = ordered_json::object();
    entry["UserID"] = ss(loginId);
    entry["UserPW"] = savePassword ? ss(password) : std::string();
    entry["SavePW"] = savePassword;
    users.push_back(std::move(entry));
  }
}

// ---- the exception handler ---------------------------------------------------------------

void LoginExceptionHandler(const std::exception& e) {
  if (std::string_view(e.what()).find("Connection refused") != std::string_view::npos)
    ShowMessage(QStringLiteral("连接云服务器失败。请确认您的网络是否能够正常访问互联网！"));
}

// ---- the login ID box --------------------------------------------------------------------

TLoginIdBox::TLoginIdBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  // The typed ID stays as typed: no completion into a remembered one, no list growth on Enter.
  setCompleter(nullptr);
  setInsertPolicy(QComboBox::NoInsert);
}

void TLoginIdBox::hidePopup() {
  const bool wasOpen = view() && view()->isVisible();
  QComboBox::hidePopup();
  // The chosen item reaches the box only after the list has closed.
  if (wasOpen)
    QMetaObject::invokeMethod(
        this, [this] { emit closeUp(); }, Qt::QueuedConnection);
}

void TLoginIdBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier) {
    if (!view()->isVisible()) showPopup();
    event->accept();
    return;
  }
  QComboBox::keyPressEvent(event);
}

// ---- the window ------------------------------------------------------------------------------

TfrmLoginForm::TfrmLoginForm(QWidget* owner) : TForm(owner) {
  setObjectName("frmLoginForm");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setWindowTitle(QStringLiteral("登录"));
  setFixedSize(400, 276);
  FBackground = BackgroundPicture(size());

  edtUserID = new TLoginIdBox(this);
  edtUserID->setObjectName("edtUserID");
  edtUserID->lineEdit()->setPlaceholderText(QStringLiteral("帐号"));
  // No captions beside them: screen readers name the boxes by these.
  edtUserID->setAccessibleName(QStringLiteral("帐号"));
  edtUserID->lineEdit()->setAccessibleName(QStringLiteral("帐号"));
  edtPW = new QLineEdit(this);
  edtPW->setObjectName("edtPW");
  edtPW->setEchoMode(QLineEdit::Password);
  edtPW->setPlaceholderText(QStringLiteral("密码"));
  edtPW->setAccessibleName(QStringLiteral("密码"));
  chkAutoSavePW = new QCheckBox(QStringLiteral("记住密码"), this);
  chkAutoSavePW->setObjectName("chkAutoSavePW");
  lblRegUserID = new QLabel(QStringLiteral("注册帐号"), this);
  lblRegUserID->setObjectName("lblRegUserID");
  lblRegUserID->setCursor(Qt::PointingHandCursor);
  lblRegUserID->setProperty("vltRole", "link");

  actLogin = new QAction(QStringLiteral("登录"), this);
  actLogin->setObjectName("actLogin");
  actClose = new QAction(QStringLiteral("退出"), this);
  actClose->setObjectName("actClose");
  addAction(actLogin);
  addAction(actClose);
  btnLogin = new QPushButton(actLogin->text(), this);
  btnLogin->setObjectName("btnLogin");
  btnClose = new QPushButton(actClose->text(), this);
  btnClose->setObjectName("btnClose");
  btnLogin->setProperty("vltRole", "primary");
  // Shown before the program takes the style file: these two take their rules from it now.
  for (QWidget* styled : {static_cast<QWidget*>(btnLogin), static_cast<QWidget*>(lblRegUserID)})
    styled->setStyleSheet(DefaultStyleSheet());

  for (QWidget* w : {static_cast<QWidget*>(edtUserID), static_cast<QWidget*>(edtPW)})
    w->setMinimumHeight(30);

  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(70, 104, 70, 18);
  form->setSpacing(10);
  form->addWidget(edtUserID);
  form->addWidget(edtPW);
  auto* options = new QHBoxLayout;
  options->addWidget(chkAutoSavePW);
  options->addStretch();
  options->addWidget(lblRegUserID);
  form->addLayout(options);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnLogin, 1);
  buttons->addWidget(btnClose);
  form->addLayout(buttons);
  form->addStretch();

  connect(actLogin, &QAction::triggered, this, guarded([this] { actLoginExecute(); }));
  connect(actClose, &QAction::triggered, this, guarded([this] { actCloseExecute(); }));
  connect(btnLogin, &QPushButton::clicked, actLogin, guarded([this] { actLogin->trigger(); }));
  connect(btnClose, &QPushButton::clicked, actClose, guarded([this] { actClose->trigger(); }));
  connect(edtUserID, &TLoginIdBox::closeUp, this, guarded([this] { edtUserIDCloseUp(); }));
  edtUserID->installEventFilter(this);
  edtUserID->lineEdit()->installEventFilter(this);
  edtPW->installEventFilter(this);
  lblRegUserID->installEventFilter(this);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

void TfrmLoginForm::FormCreate() {
  SetApplicationExceptionHandler(&LoginExceptionHandler);
  FUsers.Load(UserFileName());
  TForm::FormCreate();
}

void TfrmLoginForm::FormShow() {
  edtUserID->setFocus();
  const QString defaultUser = FUsers.DefaultUser();
  edtUserID->setEditText(defaultUser);
  if (defaultUser.isEmpty()) return;
  for (const TLocalUserFile::TEntry& entry : FUsers.Users()) {
    edtUserID->addItem(entry.UserID);
    if (sameId(entry.UserID, defaultUser)) {
      edtPW->setText(entry.UserPW);
      chkAutoSavePW->setChecked(entry.SavePW);
    }
  }
  // Filling the list selects its first item; the box shows the last signed-in ID.
  edtUserID->setCurrentIndex(-1);
  edtUserID->setEditText(defaultUser);
}

QString TfrmLoginForm::UserFileName() const {
  return AppVar().UserFilePath + kUserFileName;
}

void TfrmLoginForm::actLoginExecute() {
  const QString loginId = edtUserID->currentText();
  const QString password = edtPW->text();
  if (loginId.isEmpty()) {
    ShowMessage(QStringLiteral("请输入帐号!"));
    return;
  }
  if (password.isEmpty()) {
    ShowMessage(QStringLiteral("请输入密码！"));
    return;
  }
  if (!doServerMethods().CheckLoginUser(ss(loginId), ss(password))) {
    ShowMessage(QStringLiteral("用户名或密码错误！，请检查！"));
    Abort();
  }

  TCurUserInfo& user = CurUserInfo();
  user.UserID = ss(loginId);
  vlt::ClientDataSet profile;
  profile.LoadFromPacket(doServerMethods().GetRegisUserInfo(user.UserID));
  if (!profile.IsEmpty()) {
    profile.First();
    user.NickName = profile.FieldByName("NickName").AsString();
    user.HeadImgName = profile.FieldByName("HeadImgName").AsString();
  }

  TAppVar& folders = AppVar();
  folders.UserPath = folders.UserFilePath + loginId + "/";
  QDir().mkpath(folders.UserPath);
  folders.UserHeadImgPath = folders.UserPath + "HeaderImgs/";
  QDir().mkpath(folders.UserHeadImgPath);

  FModalResult() = 99;

  if (!sameId(FUsers.DefaultUser(), loginId)) FUsers.SetDefaultUser(loginId);
  const bool savePassword = chkAutoSavePW->isChecked();
  FUsers.Remember(loginId, password, savePassword);
  // The list only spares typing: a folder that cannot be written keeps no one from signing in.
  FUsers.Save(UserFileName());
  FModalResult() = 99;
  close();
}

void TfrmLoginForm::actCloseExecute() {
  QCoreApplication::quit();
  close();
}

void TfrmLoginForm::lblRegUserIDClick() {
  ShellOpen(ServiceWebAddress(QStringLiteral("reg.htm")), false);
}

void TfrmLoginForm::edtUserIDCloseUp() {
  const QString id = edtUserID->currentText();
  if (id.isEmpty()) return;
  for (const TLocalUserFile::TEntry& entry : FUsers.Users()) {
    if (!sameId(entry.UserID, id)) continue;
    edtPW->setText(entry.UserPW);
    chkAutoSavePW->setChecked(entry.SavePW);
  }
}

bool TfrmLoginForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // The box hands its keys to its line edit directly, past this filter: watch both.
    if (enter && (watched == edtUserID || watched == edtUserID->lineEdit())) {
      guarded([this] { edtPW->setFocus(); })();
      return true;
    }
    if (enter && watched == edtPW) {
      guarded([this] { btnLogin->setFocus(); })();
      return true;
    }
  }
  if (watched == lblRegUserID) {
    // The label is a link: it takes its own clicks instead of starting a window drag.
    if (event->type() == QEvent::MouseButtonPress) return true;
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton &&
          lblRegUserID->rect().contains(mouse->position().toPoint()))
        guarded([this] { lblRegUserIDClick(); })();
      return true;
    }
  }
  return TForm::eventFilter(watched, event);
}

void TfrmLoginForm::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, FBackground);
  TForm::paintEvent(event);
}

void TfrmLoginForm::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return TForm::mousePressEvent(event);
  // The window manager moves the window where it can; elsewhere the window follows the mouse.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  FDragging = true;
  FDragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TfrmLoginForm::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - FDragOffset);
  else
    TForm::mouseMoveEvent(event);
}

void TfrmLoginForm::mouseReleaseEvent(QMouseEvent* event) {
  FDragging = false;
  TForm::mouseReleaseEvent(event);
}

QPixmap TfrmLoginForm::BackgroundPicture(const QSize& size) {
  QPixmap picture(size);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF all(QPointF(0, 0), QSizeF(size));

  QLinearGradient sky(all.topLeft(), all.bottomLeft());
  sky.setColorAt(0.0, QColor("#2b7bd6"));
  sky.setColorAt(0.32, QColor("#5d9de3"));
  sky.setColorAt(0.321, QColor("#f4f8fc"));
  sky.setColorAt(1.0, QColor("#e6eef7"));
  p.fillRect(all, sky);

  // Two soft arcs behind the title band.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 28));
  p.drawEllipse(QPointF(size.width() * 0.85, -10), 120, 120);
  p.drawEllipse(QPointF(size.width() * 0.1, size.height() * 0.34), 70, 40);

  QFont title = p.font();
  title.setPixelSize(26);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 18, size.width(), 40), Qt::AlignHCenter | Qt::AlignVCenter,
             QStringLiteral("NXQ在线平台"));

  p.setPen(QColor("#c9d6e4"));
  p.setBrush(Qt::NoBrush);
  p.drawRect(all.adjusted(0.5, 0.5, -0.5, -0.5));
  return picture;
}
