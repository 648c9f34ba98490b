#include "service/store/upload_reservations.h"

#include <algorithm>

namespace nvx::service {
namespace {

int64_t Held(int64_t change) {
  return std::max<int64_t>(change, 0);
}

}  // namespace

Reservation::~Reservation() {
  platform::MutexLock lock(owner_.mutex_);
  owner_.ShiftLocked(account_.key, Held(change_), 0);
}

bool Reservation::Resize(int64_t change) {
  platform::MutexLock lock(owner_.mutex_);
  if (change > change_) {
    std::optional<int64_t> room = owner_.RoomLocked(store_, account_, Held(change_));
    if (!room || change > *room) return false;
  }
  owner_.ShiftLocked(account_.key, Held(change_), Held(change));
  change_ = change;
  return true;
}

void Reservation::Settle(int64_t change) {
  platform::MutexLock lock(owner_.mutex_);
  owner_.ShiftLocked(account_.key, Held(change_), Held(change_ - change));
  change_ -= change;
}

std::unique_ptr<Reservation> UploadReservations::Reserve(Store& store, const Account& account,
                                                         int64_t change) {
  platform::MutexLock lock(mutex_);
  std::optional<int64_t> room = RoomLocked(store, account, 0);
  if (!room || change > *room) return nullptr;
  ShiftLocked(account.key, 0, Held(change));
  return std::unique_ptr<Reservation>(new Reservation(*this, store, account, change));
}

std::optional<int64_t> UploadReservations::Room(Store& store, const Account& account) {
  platform::MutexLock lock(mutex_);
  return RoomLocked(store, account, 0);
}

void UploadReservations::ShiftLocked(int64_t account, int64_t held_before, int64_t held_after) {
  if (held_before == held_after) return;
  int64_t& total = held_[account];
  total += held_after - held_before;
  if (total == 0) held_.erase(account);
}

std::optional<int64_t> UploadReservations::RoomLocked(Store& store, const Account& account,
                                                      int64_t held) {
  // Read while no claim changes: an upload that commits meanwhile releases its claim only
  // after the store counts its bytes, so they are never counted in neither.
  std::optional<Account> current = store.FindAccount(account.id);
  if (!current) return std::nullopt;
  auto found = held_.find(account.key);
  int64_t others = (found == held_.end() ? 0 : found->second) - held;
  // Compared as differences so that no sum of large figures can wrap.
  return current->quota - current->used - others;
}

}  // namespace nvx::service
