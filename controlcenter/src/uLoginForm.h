#pragma once
// The login window: checks the login ID and password with the service, fills the signed-in
// identity, prepares the user's local folders and remembers the IDs used on this computer.

#include <QComboBox>
#include <QPoint>
#include <QString>
#include <exception>
#include <nlohmann/json.hpp>
#include <vector>

#include "vlt/host.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The remembered login IDs of this computer: a JSON object with "DefaultUser" and "Users"
// ({"UserID", "UserPW", "SavePW"} each), written compact with every non-ASCII character
// escaped. A file that is missing, not JSON or of another shape reads as what it can be
// salvaged to, so a damaged file never keeps anyone from signing in and is rewritten whole.
class TLocalUserFile {
 public:
  struct TEntry {
    QString UserID;
    QString UserPW;
    bool SavePW = false;
  };

  // Reads the file; a missing or unreadable file is the empty object.
  void Load(const QString& fileName);
  // Writes the whole object; false when the file cannot be written.
  bool Save(const QString& fileName) const;

  QString DefaultUser() const;
  void SetDefaultUser(const QString& loginId);
  std::vector<TEntry> Users() const;
  // Updates every entry of this ID (ignoring case) or appends one.
  void Remember(const QString& loginId, const QString& password, bool savePassword);

  const nlohmann::ordered_json& Json() const { return json_; }

 private:
  void Normalize();
  nlohmann::ordered_json json_ = nlohmann::ordered_json::object();
};

// The application exception handler the login window installs: a refused connection is told
// to the user, everything else is dropped.
void LoginExceptionHandler(const std::exception& e);

// The login ID box: an edit box with the remembered IDs as its drop-down list. Down opens the
// list; `closeUp` follows the list's closing once the chosen item is in the box.
class TLoginIdBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TLoginIdBox(QWidget* parent = nullptr);
  void hidePopup() override;

 signals:
  void closeUp();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class TfrmLoginForm : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmLoginForm(QWidget* owner = nullptr);

  void FormCreate() override;
  void FormShow() override;

  TLoginIdBox* edtUserID;
  QLineEdit* edtPW;
  QCheckBox* chkAutoSavePW;
  QPushButton* btnLogin;
  QPushButton* btnClose;
  QLabel* lblRegUserID;
  QAction* actLogin;
  QAction* actClose;

  void actLoginExecute();
  void actCloseExecute();
  void lblRegUserIDClick();
  void edtUserIDCloseUp();

  // The background: a quiet gradient with the product name.
  static QPixmap BackgroundPicture(const QSize& size);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString UserFileName() const;

  TLocalUserFile FUsers;
  QPixmap FBackground;
  bool FDragging = false;
  QPoint FDragOffset;
};
