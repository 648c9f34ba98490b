// The server rows of the Login page and the ID/Password tab: "Server address"
// (`ServerAddress`, empty for the Norrvault servers), the "Secure connection" box
// (`SecureConnection`) and the optional certificate authority file (`ServerCA`, with
// `ServerCABrowse` to pick it). They are added to the page's own form, under its ID and
// password rows, and owned by the page. GUI thread only.
#ifndef NVX_WIZARD_FORMS_SERVER_FIELDS_H_
#define NVX_WIZARD_FORMS_SERVER_FIELDS_H_

#include <QObject>

#include "wizard/core/server_address.h"
#include "wizard/forms/wizard_context.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace nvx::wizard {

class ServerFields : public QObject {
 public:
  // Adds the rows to `fields`, with the widgets as children of `page`.
  ServerFields(WizardContext& context, QWidget* page, QFormLayout* fields);

  void Show(const ServerChoice& choice);
  ServerChoice choice() const;
  void SetEditable(bool editable);
  // True when the address can be used and the authority file, when named, read; otherwise
  // the user is told why.
  bool Usable() const;

 private:
  void BrowseClicked();

  WizardContext& context_;
  QLineEdit* address_;
  QCheckBox* secure_;
  QLineEdit* ca_file_;
  QPushButton* browse_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_SERVER_FIELDS_H_
