// The embedded store's claims of uploads in flight (Store::ReserveUpload). The store
// counts only what an upload recorded; while a body arrives, is unpacked or rebuilt, its
// bytes are on the disk but in no document yet. Each upload therefore claims, before it
// writes a byte, the bytes by which it will raise the space used, and the claim counts
// against the quota of every other upload of that account until the store counts the
// bytes (a checkpoint, the final commit) or the upload ends. Uploads of one account at
// once can so never together take the disk past the account's quota.
//
// The claims are kept in this process: the embedded store is served by one process. A
// store shared by several serving processes keeps them beside the accounts in its
// database (a row per upload in flight, with a lease), behind the same interface.
//
// Safe for concurrent use by all connection threads; a Reservation belongs to the thread
// of its request.
#ifndef NVX_SERVICE_STORE_UPLOAD_RESERVATIONS_H_
#define NVX_SERVICE_STORE_UPLOAD_RESERVATIONS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/store.h"

namespace nvx::service {

class UploadReservations;

// One upload's claim. Released when the object ends.
class Reservation final : public UploadClaim {
 public:
  ~Reservation() override;
  Reservation(const Reservation&) = delete;
  Reservation& operator=(const Reservation&) = delete;

  // UploadClaim
  [[nodiscard]] bool Resize(int64_t change) override;
  void Settle(int64_t change) override;

 private:
  friend class UploadReservations;
  Reservation(UploadReservations& owner, Store& store, const Account& account, int64_t change)
      : owner_(owner), store_(store), account_(account), change_(change) {}

  UploadReservations& owner_;
  Store& store_;
  const Account& account_;  // outlives the request, so the reservation
  int64_t change_ = 0;      // the rise still to come; held as max(change_, 0)
};

class UploadReservations {
 public:
  UploadReservations() = default;
  UploadReservations(const UploadReservations&) = delete;
  UploadReservations& operator=(const UploadReservations&) = delete;

  // Claims `change` bytes for an upload of `account` (see Store::ReserveUpload), the
  // space used read from `store` now. Null when it does not fit or the account cannot be
  // read. `store` and `account` must outlive the reservation.
  std::unique_ptr<Reservation> Reserve(Store& store, const Account& account, int64_t change);
  // The room left to the account: quota less space used less all claims. Nothing when
  // the account cannot be read.
  std::optional<int64_t> Room(Store& store, const Account& account);

 private:
  friend class Reservation;
  // Moves the account's total held from `held_before` to `held_after` of one claim.
  void ShiftLocked(int64_t account, int64_t held_before, int64_t held_after) REQUIRES(mutex_);
  // The room for a claim that now holds `held`: nothing when the account cannot be read.
  std::optional<int64_t> RoomLocked(Store& store, const Account& account, int64_t held)
      REQUIRES(mutex_);

  platform::Mutex mutex_;
  // Bytes held per account key; accounts without claims have no entry.
  std::map<int64_t, int64_t> held_ GUARDED_BY(mutex_);
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_UPLOAD_RESERVATIONS_H_
