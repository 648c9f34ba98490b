#include "wizard/forms/new_version_page.h"

#include <QVBoxLayout>

#include "wizard/core/update_check.h"

namespace nvx::wizard {

NewVersionPage::NewVersionPage(Desktop& desktop, const QString& setup_page_url, QWidget* parent)
    : Page("NewVersion", "An Update To Norrvault Backup Is Available", parent) {
  QLabel* text = MakeLabel("Label1", ForDisplay(NewVersionText()));
  text->setMinimumWidth(420);
  QPushButton* ok = MakeButton("OKButton", "OK");
  ok->setDefault(true);
  QPushButton* cancel = MakeButton("CancelButton", "Cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({ok, cancel}));
  connect(ok, &QPushButton::clicked, this, [this, &desktop, setup_page_url] {
    desktop.OpenUrl(setup_page_url);
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace nvx::wizard
