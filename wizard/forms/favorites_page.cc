#include "wizard/forms/favorites_page.h"

#include <QVBoxLayout>

#include "wizard/core/directory_size.h"

namespace nvx::wizard {

FavoritesPage::FavoritesPage(WizardContext& context, QWidget* parent)
    : Page("Favorites", "Backup Favorites", parent), context_(context) {
  QLabel* about =
      MakeLabel("Label1", "Your \"Favorites\" folder includes Internet Explorer's bookmarks");
  QCheckBox* include = include_ = MakeCheck("Check1", "Backup Favorites");
  include->setChecked(true);
  QLabel* note = MakeLabel(
      "Label2", "Note: UNCHECK if you do not want your Favorites included in the backup.");
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(about);
  layout->addSpacing(8);
  layout->addWidget(include);
  layout->addSpacing(8);
  layout->addWidget(note);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({next, cancel}));
  setMinimumWidth(420);

  connect(next, &QPushButton::clicked, this, &FavoritesPage::ContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FavoritesPage::Load() {
  const QString& folder = context_.state.favorites_folder;
  context_.state.page_skipped = !HasFilesDirectly(folder);
  if (!context_.state.page_skipped) bytes_ = DirectorySize(folder, "*.*", true).bytes;
}

void FavoritesPage::ContinueClicked() {
  bool included = include_->isChecked();
  if (!context_.config.WriteFavorites(included)) {
    context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
    return;
  }
  if (included) {
    context_.state.favorites_total = bytes_;
    context_.state.total += bytes_;
  }
  accept();
}

}  // namespace nvx::wizard
