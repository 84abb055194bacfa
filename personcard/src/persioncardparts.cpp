#include "persioncardparts.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "tplwidgets.h"
#include "uBaseFormEx.h"

namespace vlt::persioncard {

using namespace vlt::templates;

TListTools AddListTools(TfrmBaseFormEx& form, std::function<void()> add,
                        std::function<void()> modify, std::function<void()> del) {
  TListTools t{};
  t.actAdd = MakeAction(&form, "actAdd", "新增", {QKeySequence(Qt::CTRL | Qt::Key_N)}, add);
  t.actModify =
      MakeAction(&form, "actModify", "修改", {QKeySequence(Qt::CTRL | Qt::Key_M)}, modify);
  t.actDel = MakeAction(&form, "actDel", "删除", {QKeySequence(Qt::CTRL | Qt::Key_D)}, del);
  t.btnNew = ToolButton(t.actAdd, form.lytTop, "btnNew", "imgNew", ToolIcon::New, 105);
  t.btnModify = ToolButton(t.actModify, form.lytTop, "btnModify", "imgModify", ToolIcon::Edit, 105);
  t.btnDel = ToolButton(t.actDel, form.lytTop, "btnDel", "imgDel", ToolIcon::Delete, 105);
  for (QWidget* b : {t.btnNew, t.btnModify, t.btnDel})
    form.AddTopWidget(b);
  return t;
}

TSaveStrip MakeSaveStrip(QWidget& form, std::function<void()> saveAndNew,
                         std::function<void()> saveAndClose) {
  TSaveStrip s{};
  s.actSaveAndNew =
      MakeAction(&form, "actSaveAndNew", "保存新增",
                 {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)},
                 saveAndNew);
  s.actSaveAndClose =
      MakeAction(&form, "actSaveAndClose", "保存退出",
                 {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)},
                 saveAndClose);
  s.lytTop = new QWidget(&form);
  s.lytTop->setObjectName("lytTop");
  s.lytTop->setFixedHeight(36);
  s.lytTop->setAttribute(Qt::WA_StyledBackground, true);
  auto* strip = new QHBoxLayout(s.lytTop);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->addWidget(ToolButton(s.actSaveAndNew, s.lytTop, "btnSaveAndNew", "imgSaveAndNew",
                              ToolIcon::SaveNew, 120));
  strip->addWidget(ToolButton(s.actSaveAndClose, s.lytTop, "btnSaveAndClose", "imgSaveAndClose",
                              ToolIcon::SaveClose, 120));
  strip->addStretch(1);
  return s;
}

}  // namespace vlt::persioncard
