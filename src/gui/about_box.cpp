#include "about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "form_size.h"

namespace resmill::gui {

AboutBox::AboutBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 10);
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  auto* panelLayout = new QVBoxLayout(panel);
  layout->addWidget(panel, 1);

  auto* product = new QLabel(QString::fromUtf8(kToolName), panel);
  product->setObjectName(QStringLiteral("ProductName"));
  QFont big = product->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 2);
  product->setFont(big);
  auto* version = new QLabel(QString::fromUtf8(kVersionText), panel);
  version->setObjectName(QStringLiteral("Version"));
  auto* credit = new QLabel(QStringLiteral("Icons, animations and skins of your phone, unpacked and packed again."), panel);
  credit->setObjectName(QStringLiteral("Comments"));
  credit->setWordWrap(true);
  for (QLabel* label : {product, version, credit}) {
    label->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(label);
  }

  auto* ok = new FormButton(QStringLiteral("OK"), {75, 27}, this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  FormSize::Keep(*this, QSize(298, 178));
}

}  // namespace resmill::gui
