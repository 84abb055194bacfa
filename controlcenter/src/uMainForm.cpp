#include "uMainForm.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "vlt/errors.h"

using namespace vlt::host;

VLT_REGISTER_CLASS(uMainForm, TfrmMainForm);

namespace {

struct TNavigationItem {
  const char* name;
  const char* caption;
  const char* package;
};

// The pages in the order their packages load; page n belongs to item n.
const TNavigationItem kNavigation[] = {
    {"lstSchedule", "日程", "VltCalendar.bpl"},
    {"lstBusiness", "业务", "VltBusiness.bpl"},
    {"lstPersionCard", "理财", "VltPersionCard.bpl"},
    {"lstWebShoping", "商城", "VltWebShop.bpl"},
};

const QString kCurDBPrefix = QStringLiteral("当前帐套：『");

// Escape closes dialogs, but on the main window it would end the program with every open
// function window and its unsaved work.
class TEscapeKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      return true;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

TfrmMainForm::TfrmMainForm(QWidget* owner) : TForm(owner) {
  setObjectName("frmMainForm");
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  resize(300, 680);
  installEventFilter(new TEscapeKeeper(this));

  // Header: who is signed in.
  auto* header = new QWidget(this);
  header->setObjectName("pnlHeader");
  ImgHeader = new QLabel(header);
  ImgHeader->setObjectName("ImgHeader");
  ImgHeader->setFixedSize(56, 56);
  ImgHeader->setScaledContents(true);
  lblNickName = new QLabel(header);
  lblNickName->setObjectName("lblNickName");
  QFont nickFont = lblNickName->font();
  nickFont.setPointSizeF(nickFont.pointSizeF() * 1.25);
  nickFont.setBold(true);
  lblNickName->setFont(nickFont);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(12, 12, 12, 8);
  headerLayout->setSpacing(10);
  headerLayout->addWidget(ImgHeader);
  headerLayout->addWidget(lblNickName, 1);

  // The current account set: a read-only box with its hint at the left and its button at the
  // right end.
  actSelectUserDB = new QAction(QStringLiteral("选择当前帐套"), this);
  actSelectUserDB->setObjectName("actSelectUserDB");
  addAction(actSelectUserDB);
  edtCurDB = new QLineEdit(this);
  edtCurDB->setObjectName("edtCurDB");
  edtCurDB->setReadOnly(true);
  edtCurDB->setFocusPolicy(Qt::ClickFocus);
  edtCurDB->setMinimumHeight(30);
  edtCurDB->setTextMargins(0, 0, 30, 0);
  lblCurDB = new QLabel(QStringLiteral("选择当前帐套"), edtCurDB);
  lblCurDB->setObjectName("lblCurDB");
  lblCurDB->setAttribute(Qt::WA_TransparentForMouseEvents);
  lblCurDB->setProperty("vltRole", "faint");
  btnCurDB = new QToolButton(edtCurDB);
  btnCurDB->setObjectName("btnCurDB");
  btnCurDB->setText(QStringLiteral("…"));
  btnCurDB->setToolTip(actSelectUserDB->text());
  btnCurDB->setCursor(Qt::PointingHandCursor);
  btnCurDB->setFixedSize(26, 24);
  auto* boxLayout = new QHBoxLayout(edtCurDB);
  boxLayout->setContentsMargins(6, 0, 2, 0);
  boxLayout->addWidget(lblCurDB);
  boxLayout->addStretch();
  boxLayout->addWidget(btnCurDB);

  // Navigation column and the pages behind it; the tab strip stays hidden.
  lstNavigation = new QListWidget(this);
  lstNavigation->setObjectName("lstNavigation");
  lstNavigation->setFixedWidth(64);
  lstNavigation->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lstNavigation->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (const TNavigationItem& n : kNavigation) {
    auto* item = new QListWidgetItem(QString::fromUtf8(n.caption), lstNavigation);
    item->setData(ItemNameRole, QString::fromLatin1(n.name));
    item->setTextAlignment(Qt::AlignCenter);
    item->setSizeHint(QSize(60, 56));
  }
  tbcNavigation = new QTabWidget(this);
  tbcNavigation->setObjectName("tbcNavigation");
  tbcNavigation->tabBar()->hide();
  tbcNavigation->setDocumentMode(true);

  // Bottom bar: how to reach the service's support.
  auto* bottom = new QWidget(this);
  bottom->setObjectName("pnlBottom");
  lblTelephone = new QLabel(QStringLiteral("客服电话：400-000-0000"), bottom);
  lblTelephone->setObjectName("lblTelephone");
  btnOnlinesvr = new QPushButton(QStringLiteral("在线客服"), bottom);
  btnOnlinesvr->setObjectName("btnOnlinesvr");
  btnOnlinesvr->setAutoDefault(false);
  auto* bottomLayout = new QHBoxLayout(bottom);
  bottomLayout->setContentsMargins(10, 6, 10, 8);
  bottomLayout->addWidget(lblTelephone, 1);
  bottomLayout->addWidget(btnOnlinesvr);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  body->addWidget(lstNavigation);
  body->addWidget(tbcNavigation, 1);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  root->addWidget(header);
  auto* boxRow = new QHBoxLayout;
  boxRow->setContentsMargins(10, 10, 10, 10);
  boxRow->addWidget(edtCurDB);
  root->addLayout(boxRow);
  root->addLayout(body, 1);
  root->addWidget(bottom);

  connect(actSelectUserDB, &QAction::triggered, this,
          guarded([this] { actSelectUserDBExecute(); }));
  connect(btnCurDB, &QToolButton::clicked, actSelectUserDB,
          guarded([this] { actSelectUserDB->trigger(); }));
  connect(lstNavigation, &QListWidget::currentRowChanged, this,
          guarded([this](int row) { lstNavigationChange(row); }));
  connect(edtCurDB, &QLineEdit::textChanged, this, guarded([this] { edtCurDBChange(); }));
  connect(btnOnlinesvr, &QPushButton::clicked, this, guarded([this] { btnOnlinesvrClick(); }));
}

void TfrmMainForm::FormCreate() {
  setWindowTitle(QStringLiteral("NXQ在线平台 『 ") + qs(CurUserInfo().UserID) +
                 QStringLiteral(" 』"));
  lblNickName->setText(qs(CurUserInfo().NickName));
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().width() - width() - 20, 10);
  TForm::FormCreate();
}

void TfrmMainForm::FormShow() {
  const QString headImage = AppVar().HeadImgPath + QStringLiteral("DefaultHeadImg.png");
  if (QFileInfo::exists(headImage)) {
    QPixmap picture;
    if (picture.load(headImage)) ImgHeader->setPixmap(picture);
  }
  for (int i = 0; i < lstNavigation->count(); ++i)
    lstNavigation->item(i)->setData(TagStringRole, QString::fromLatin1(kNavigation[i].package));
  // A package that fails stops the rest: the failure leaves this handler.
  for (int i = 0; i < lstNavigation->count(); ++i)
    LoadPackagePages(lstNavigation->item(i)->data(TagStringRole).toString());
  lstNavigation->setCurrentRow(1);
  lstNavigationChange(lstNavigation->currentRow());
}

std::uint32_t TfrmMainForm::LoadPackagePages(const QString& fileName) {
  const std::uint32_t handle = LoadPlugin(fileName);
  QWidget* page = nullptr;  // a page not yet handed to the plug-in manager
  try {
    for (const TClassInfo* type : PackageClasses(handle)) {
      const TClassInfo* frameClass = nullptr;
      if (!IsPluginFrameClass(type, frameClass)) continue;
      page = new QWidget(tbcNavigation);
      QWidget* frame = frameClass->create(page);
      // The frame is only the owner of its content; its root layout is what the page shows.
      frame->hide();
      auto* pluginFrame = dynamic_cast<IPluginFrame*>(frame);
      QWidget* base = pluginFrame ? pluginFrame->GetBaseControl() : nullptr;
      if (!base)
        throw vlt::Error("Class " + type->qualifiedName.toStdString() + " offers no root layout");
      auto* pageLayout = new QVBoxLayout(page);
      pageLayout->setContentsMargins(0, 0, 0, 0);
      base->setParent(page);
      pageLayout->addWidget(base);
      base->show();
      RegisterPluginComponent(handle, page);
      QWidget* registered = page;
      page = nullptr;
      tbcNavigation->addTab(registered, QStringLiteral(" ") + frame->windowTitle());
    }
  } catch (...) {
    // The page's frame runs code of the package: it goes before the package does.
    delete page;
    UnloadPlugin(handle);
    throw;
  }
  return handle;
}

void TfrmMainForm::lstNavigationChange(int index) {
  tbcNavigation->setCurrentIndex(index);
}

void TfrmMainForm::actSelectUserDBExecute() {
  QPointer<TForm> window = CreateRttiForm(QStringLiteral("VltControlCenter.bpl"),
                                          QStringLiteral("uSelectUserDB.TfrmSelectUserDB"), this);
  try {
    window->TagString = qs(CurUserInfo().UserID);
    ShowModal(*window);
  } catch (...) {
    delete window;
    TakeSelectedUserDB();
    throw;
  }
  delete window;
  TakeSelectedUserDB();
}

void TfrmMainForm::TakeSelectedUserDB() {
  vlt::ClientDataSet& chosen = GlobalDM().cdsSelectResult;
  if (chosen.Active() && !chosen.IsEmpty()) {
    chosen.First();
    const std::string id = chosen.FieldByName("id").AsString();
    edtCurDB->setText(kCurDBPrefix + qs(id) + QStringLiteral("』") +
                      qs(chosen.FieldByName("name").AsString()));
    CurUserInfo().UserDBID = id;
    chosen.EmptyDataSet();
  }
  lblCurDB->setVisible(edtCurDB->text().isEmpty());
}

void TfrmMainForm::edtCurDBChange() {
  lblCurDB->setVisible(edtCurDB->text().isEmpty());
}

void TfrmMainForm::btnOnlinesvrClick() {
  ShellOpen(ServiceWebAddress(QStringLiteral("support.htm")), true);
}
