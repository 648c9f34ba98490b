// The base of every wizard page: a dialog that carries its form name as objectName and
// its caption as window title, and helpers that make controls under their design names.
// A page keeps typed members for the controls it reads or changes after construction;
// the names are for tests and screenshots, which find the controls by them. A page's
// constructor only builds widgets: pages that show what is on the disk read it in their
// Load(), which whoever shows the page calls first.
// A page ends with accept() when its forward button finished its work, and with
// reject() when the user pressed Cancel or the window's close box; the start-up
// procedure ends the program on the latter for every page that says so.
// GUI thread only.
#ifndef NVX_WIZARD_FORMS_PAGE_H_
#define NVX_WIZARD_FORMS_PAGE_H_

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace nvx::wizard {

class Page : public QDialog {
  Q_OBJECT

 public:
  Page(const QString& form_name, const QString& caption, QWidget* parent = nullptr);

 protected:
  // A label named `name`; word-wrapped when `wrap`.
  QLabel* MakeLabel(const QString& name, const QString& text, bool wrap = true);
  // A label in a larger bold font.
  QLabel* MakeHeading(const QString& name, const QString& text);
  QPushButton* MakeButton(const QString& name, const QString& caption);
  QCheckBox* MakeCheck(const QString& name, const QString& caption);
  // A row of buttons pushed to the right.
  static QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);
};

// `text` with its CR LF and lone CR line breaks as "\n", the way labels break lines.
QString ForDisplay(const QString& text);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_PAGE_H_
