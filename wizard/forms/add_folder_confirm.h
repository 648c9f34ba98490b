// AddFolderConfirm: the space a chosen folder needs with and without its subfolders, and
// whether to include them. `OKButton` ends with accept(), `CancelButton` and the close box
// with reject(); either way only this page closes.
#ifndef NVX_WIZARD_FORMS_ADD_FOLDER_CONFIRM_H_
#define NVX_WIZARD_FORMS_ADD_FOLDER_CONFIRM_H_

#include "wizard/forms/page.h"

namespace nvx::wizard {

class AddFolderConfirm : public Page {
  Q_OBJECT

 public:
  AddFolderConfirm(const QString& path_size_text, QWidget* parent = nullptr);
  bool include_subfolders() const;

 private:
  QCheckBox* include_subfolders_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_ADD_FOLDER_CONFIRM_H_
