// mydocuments: My Documents and its subfolders with their sizes. Load() scans the
// folder; `Continue` writes the My Documents section and ends with accept(); `Cancel`
// and the close box end the program.
#ifndef NVX_WIZARD_FORMS_MY_DOCUMENTS_PAGE_H_
#define NVX_WIZARD_FORMS_MY_DOCUMENTS_PAGE_H_

#include "wizard/core/directory_size.h"
#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

class QListWidget;

namespace nvx::wizard {

// Names of the entries of a checkable list whose check state is `checked`, in list order.
QStringList ListNames(const QListWidget* list, bool checked);
// Fills a checkable list with "name      (size Megabytes)" entries.
void FillSizeList(QListWidget* list, const QVector<SubfolderEntry>& entries,
                  const std::function<bool(const QString& name)>& checked);
// The bytes of the checked entries.
double CheckedBytes(const QListWidget* list, const QVector<SubfolderEntry>& entries);

class MyDocumentsPage : public Page {
  Q_OBJECT

 public:
  explicit MyDocumentsPage(WizardContext& context, QWidget* parent = nullptr);

  // Scans My Documents and fills the list and the sizes; once, before the page is shown.
  void Load();

 private:
  // The bytes the current check marks select.
  double SelectedBytes() const;
  void Recalculate();
  void ContinueClicked();

  WizardContext& context_;
  MyDocumentsScan scan_;
  QCheckBox* include_;
  QLabel* list_caption_;
  QListWidget* subfolders_;
  QLabel* size_count_;
  QLabel* running_total_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_MY_DOCUMENTS_PAGE_H_
