#pragma once
// The source-bill dialogs: the open lines of purchase orders (for a purchase), of purchases (for
// a purchase return), of sales orders (for a sale), of sales (for a sales return), and of the
// bills a stock-in or stock-out bill executes. Returns list what is still returnable of a line:
// its quantity less what earlier returns taken from it hold.

#include "uBaseSelectBillform.h"

class QRadioButton;

class TFrmSelectPurOrder : public TFrmBaseSelectBillform {
  Q_OBJECT
 public:
  explicit TFrmSelectPurOrder(QWidget* owner = nullptr);
  void FormCreate() override;
};

class TFrmSelectPurchase : public TFrmBaseSelectBillform {
  Q_OBJECT
 public:
  explicit TFrmSelectPurchase(QWidget* owner = nullptr);
  void FormCreate() override;
};

class TFrmSelectSalOrder : public TFrmBaseSelectBillform {
  Q_OBJECT
 public:
  explicit TFrmSelectSalOrder(QWidget* owner = nullptr);
  void FormCreate() override;
};

class TFrmSelectSale : public TFrmBaseSelectBillform {
  Q_OBJECT
 public:
  explicit TFrmSelectSale(QWidget* owner = nullptr);
  void FormCreate() override;
};

// The stock bills' dialog: TagString is the store, a comma and "in" or "out"; four radio
// buttons choose the kind of source bill the direction allows.
class TFrmSelectStoreIOSource : public TFrmBaseSelectBillform {
  Q_OBJECT
 public:
  explicit TFrmSelectStoreIOSource(QWidget* owner = nullptr);
  void FormCreate() override;
  void FormShow() override;

  QRadioButton* rbPurchase;  // "采购收货单"
  QRadioButton* rbSalBack;   // "销售退货单"
  QRadioButton* rbSale;      // "销售出库单"
  QRadioButton* rbPurBack;   // "采购退货单"
};
