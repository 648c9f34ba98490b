#include "wizard/forms/results_page.h"

#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "wizard/core/job_file.h"

namespace nvx::wizard {

ResultsPage::ResultsPage(const QString& report_path, QWidget* parent)
    : Page("Results", "Most Recent Backup Results", parent), report_path_(report_path) {
  QLabel* title = MakeHeading("Label1", "Most Recent Completed Backup Results");
  QLabel* date = date_ = MakeLabel("DateLabel", "(No Backup date available)");
  auto* text = text_ = new QPlainTextEdit(this);
  text->setObjectName("Text1");
  text->setReadOnly(true);
  text->setMinimumSize(560, 300);
  QPushButton* close = MakeButton("Close", "Close");
  close->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(date);
  layout->addWidget(text, 1);
  layout->addLayout(ButtonRow({close}));
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void ResultsPage::Load() {
  bool found = false;
  QStringList lines = report_path_.isEmpty() ? QStringList() : ReadLines(report_path_, &found);
  if (!found) return;
  date_->setText(QLocale().toString(QFileInfo(report_path_).lastModified(), QLocale::ShortFormat));
  text_->setPlainText(lines.join("\n"));
}

}  // namespace nvx::wizard
