// Outlook: the user's Outlook data files found under the Wine drive C. Load() runs the
// discovery and sets page skipped when no "outlook.pst" was found. Each file present has
// a check box and a "More Info" button; the add-in copies exclude their partners.
// `Continue` writes a section per checked file; `Cancel` and the close box end the
// program.
#ifndef NVX_WIZARD_FORMS_OUTLOOK_PAGE_H_
#define NVX_WIZARD_FORMS_OUTLOOK_PAGE_H_

#include <array>

#include "wizard/core/outlook_discovery.h"
#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

class OutlookPage : public Page {
  Q_OBJECT

 public:
  // `drive_c` is the Wine drive C the files are searched under.
  OutlookPage(WizardContext& context, const QString& drive_c, QWidget* parent = nullptr);

  // Searches for the files and shows those found; once, before the page is shown.
  void Load();

 private:
  // The controls of one file.
  struct FileRow {
    QCheckBox* check;
    QLabel* size;
    QPushButton* more_info;
  };

  double SelectedBytes() const;
  void ShowTotal();
  void ContinueClicked();

  WizardContext& context_;
  QString drive_c_;
  OutlookDiscovery discovery_;
  std::array<FileRow, kOutlookFileCount> rows_;
  QLabel* close_outlook_;
  QLabel* total_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_OUTLOOK_PAGE_H_
