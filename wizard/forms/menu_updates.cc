// MenuFull's Advanced tab, the component updates: "Update NVX components" replaces the
// four components by the current ones of the web host, "Install Debug Support" by the
// debug builds placed for this user. DownloadStatus shows which file is being fetched.
#include <QApplication>
#include <QLabel>

#include "wizard/core/component_update.h"
#include "wizard/forms/menu_page.h"

namespace nvx::wizard {

void MenuPage::UpdateSdkClicked() {
  RunComponentUpdate(ComponentSet::kCurrent);
}

void MenuPage::GetDebugCodeClicked() {
  if (context_.desktop.Ask(kMessageTitle, DebugQuestion(), Buttons::kOkCancel) != Answer::kOk) {
    return;
  }
  RunComponentUpdate(ComponentSet::kDebug);
}

void MenuPage::RunComponentUpdate(ComponentSet set) {
  QLabel* status = download_status_;
  auto show_status = [status](const QString& text) {
    status->setText(text);
    status->repaint();
  };
  ComponentSource source{context_.state.web_host, context_.state.user_name};
  context_.desktop.BusyPointer(true);
  ComponentUpdateResult result =
      UpdateComponents(context_.state.app_folder, set, source, show_status);
  status->clear();
  if (result.failure != ComponentUpdateResult::Failure::kNone) update();
  context_.desktop.BusyPointer(false);
  context_.desktop.Tell(result.Message(set));
}

}  // namespace nvx::wizard
