#include "wizard/forms/page.h"

namespace nvx::wizard {

QString ForDisplay(const QString& text) {
  QString display = text;
  display.replace("\r\n", "\n");
  display.replace('\r', '\n');
  return display;
}

Page::Page(const QString& form_name, const QString& caption, QWidget* parent) : QDialog(parent) {
  setObjectName(form_name);
  setWindowTitle(caption);
  // No "?" button; the close box stays.
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

QLabel* Page::MakeLabel(const QString& name, const QString& text, bool wrap) {
  auto* label = new QLabel(text, this);
  label->setObjectName(name);
  label->setWordWrap(wrap);
  return label;
}

QLabel* Page::MakeHeading(const QString& name, const QString& text) {
  QLabel* label = MakeLabel(name, text);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.3);
  label->setFont(font);
  return label;
}

QPushButton* Page::MakeButton(const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* Page::MakeCheck(const QString& name, const QString& caption) {
  auto* check = new QCheckBox(caption, this);
  check->setObjectName(name);
  return check;
}

QHBoxLayout* Page::ButtonRow(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* button : buttons) row->addWidget(button);
  return row;
}

}  // namespace nvx::wizard
