// FileDialog: other folders (through the folder browser and AddFolderConfirm) and single
// files (through the file dialog), each written to config.txt as soon as it is added.
// "Done - Backup NOW" and "Done - Backup LATER" end the page with accept() and set
// backup now accordingly; the close box ends the program.
#ifndef NVX_WIZARD_FORMS_FILE_DIALOG_PAGE_H_
#define NVX_WIZARD_FORMS_FILE_DIALOG_PAGE_H_

#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

class FileDialogPage : public Page {
  Q_OBJECT

 public:
  explicit FileDialogPage(WizardContext& context, QWidget* parent = nullptr);

 private:
  void SelectFolder();
  void SelectFiles();
  void Done(bool backup_now);
  void ShowTotal();

  WizardContext& context_;
  QLabel* total_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_FILE_DIALOG_PAGE_H_
