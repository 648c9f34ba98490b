#include "wizard/forms/log_level_page.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "wizard/core/config_rewrites.h"
#include "wizard/core/menu_config.h"

namespace nvx::wizard {
namespace {

struct LevelOption {
  const char* name;
  const char* caption;
  LogLevelChoice level;
};

constexpr LevelOption kOptions[] = {
    {"Activity", "Activity (recommended Default)", LogLevelChoice::kActivity},
    {"ErrorsOnly", "Errors Only", LogLevelChoice::kErrorOnly},
    {"Debug1", "Debug1", LogLevelChoice::kDebug1},
    {"Debug2", "Debug2", LogLevelChoice::kDebug2},
    {"Debug3", "Debug3", LogLevelChoice::kDebug3},
};

}  // namespace

LogLevelPage::LogLevelPage(WizardContext& context, QWidget* parent)
    : Page("LogLevelfrm", "Set Log Level", parent), context_(context) {
  auto* frame = new QGroupBox("Select Log Level", this);
  auto* options = new QVBoxLayout(frame);
  for (const LevelOption& option : kOptions) {
    auto* button = new QRadioButton(option.caption, frame);
    button->setObjectName(option.name);
    button->setChecked(option.level == context_.state.log_level);
    options->addWidget(button);
    options_.push_back(button);
  }
  QLabel* current = MakeLabel("CurrentLevel", CurrentLogLevelText(context_.state.log_level));
  QPushButton* apply = MakeButton("Apply", "Apply");
  apply->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(current);
  layout->addWidget(frame);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({apply, cancel}));
  setMinimumWidth(320);
  connect(apply, &QPushButton::clicked, this, &LogLevelPage::ApplyClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LogLevelPage::ApplyClicked() {
  for (size_t index = 0; index < options_.size(); ++index) {
    if (!options_[index]->isChecked()) continue;
    const LevelOption& option = kOptions[index];
    QString error;
    if (!RewriteLogLevel(context_.state.app_folder, option.level, context_.state.log_level_present,
                         &error)) {
      context_.desktop.Tell("Could not write config.txt: " + error);
      return;
    }
    context_.state.log_level = option.level;
    context_.state.log_level_present = true;
    accept();
    return;
  }
  // No option chosen: nothing to apply.
  reject();
}

}  // namespace nvx::wizard
