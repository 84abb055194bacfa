#pragma once
// Pieces the person-card windows share: the list windows' "新增 / 修改 / 删除" tool buttons and
// the edit windows' "保存新增 / 保存退出" strip.

#include <functional>

class QAction;
class QToolButton;
class QWidget;
class TfrmBaseFormEx;

namespace vlt::persioncard {

struct TListTools {
  QAction* actAdd;     // "新增" Ctrl+N
  QAction* actModify;  // "修改" Ctrl+M
  QAction* actDel;     // "删除" Ctrl+D
  QToolButton* btnNew;
  QToolButton* btnModify;
  QToolButton* btnDel;
};
// The three actions of a list window, their handlers run through the guard, and their buttons
// in the window's tool strip.
TListTools AddListTools(TfrmBaseFormEx& form, std::function<void()> add,
                        std::function<void()> modify, std::function<void()> del);

struct TSaveStrip {
  QWidget* lytTop;
  QAction* actSaveAndNew;    // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;  // "保存退出" Alt+Enter
};
// The tool strip of an edit window with its two saves; the caller puts lytTop on top.
TSaveStrip MakeSaveStrip(QWidget& form, std::function<void()> saveAndNew,
                         std::function<void()> saveAndClose);

}  // namespace vlt::persioncard
