#include "service/store/store.h"

#include "platform/text_format.h"

namespace nvx::service {

std::string_view AccountStateName(AccountState state) {
  switch (state) {
    case AccountState::kActive:
      return "active";
    case AccountState::kDisabled:
      return "disabled";
    case AccountState::kExpired:
      return "expired";
  }
  return "disabled";
}

std::optional<AccountState> ParseAccountState(std::string_view name) {
  for (AccountState state :
       {AccountState::kActive, AccountState::kDisabled, AccountState::kExpired}) {
    if (name == AccountStateName(state)) return state;
  }
  return std::nullopt;
}

std::string FolderIdText(const Folder& folder) {
  return StrFormat("%lld%s", static_cast<long long>(folder.id), folder.compressed ? "-C" : "");
}

}  // namespace nvx::service
