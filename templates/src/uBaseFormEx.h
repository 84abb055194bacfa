#pragma once
// TfrmBaseFormEx: the standard page of a module window: a tool strip on top (lytTop, 36 high),
// the work area (lytMainArea) and on the right a narrow advert column whose picture opens the
// service's web site without taking the window's place.
//
// How a descendant uses it:
// - Put tool buttons into the strip with AddTopWidget() (left to right, in call order).
// - Put the content into lytMainArea through MainAreaLayout() (a vertical layout, no margins).
// - Everything of TfrmBaseForm applies (fields in FormCreate() before the inherited one, frees
//   itself when closed, Escape closes).

#include "uBaseForm.h"

class QHBoxLayout;
class QVBoxLayout;
namespace vlt::templates {
class TClickableImage;
}

class TfrmBaseFormEx : public TfrmBaseForm {
  Q_OBJECT
 public:
  explicit TfrmBaseFormEx(QWidget* owner = nullptr);
  ~TfrmBaseFormEx() override;

  QWidget* lytContainer;
  QWidget* lytMainAd;
  QWidget* lytAD_B;
  vlt::templates::TClickableImage* imgAD;
  QWidget* lytMainArea;
  QWidget* lytTop;

  // Opens the service's web site in the browser, leaving this window where it is.
  void imgADClick();

  // Adds a tool button (or any widget) to the strip, after those added before.
  void AddTopWidget(QWidget* widget);
  QVBoxLayout* MainAreaLayout() const { return mainAreaLayout_; }

 private:
  QHBoxLayout* topLayout_;
  QVBoxLayout* mainAreaLayout_;
};
