// Construction, copying and destruction of CNvxapi, and the two kept classes.
#include <new>

#include "api/facade_access.h"
#include "api/worker.h"

namespace {

// Drops one caller of `block`; the last one stops the worker and lets the block go.
void ReleaseBlock(nvx::SharedBlock* block) {
  if (block == nullptr) return;
  if (block->control.callers.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    nvx::StopWorkerAndRelease(block);
  }
}

}  // namespace

CNvxapi::CNvxapi() : block_(nullptr) {
  nvx::SharedBlock* block = new (std::nothrow) nvx::SharedBlock();
  if (block == nullptr) return;  // the object stays unusable; every operation does nothing
  block->control.commands = nvx::DefaultCommandTable();
  // Without a worker every posted command fails at once (see PostCommand): the object
  // works either way.
  (void)nvx::StartWorker(*block);
  block_ = block;
}

CNvxapi::~CNvxapi() {
  ReleaseBlock(block_);
}

CNvxapi::CNvxapi(const CNvxapi& other) : block_(other.block_) {
  if (block_ != nullptr) block_->control.callers.fetch_add(1, std::memory_order_relaxed);
}

CNvxapi& CNvxapi::operator=(const CNvxapi& other) {
  if (block_ == other.block_) return *this;
  if (other.block_ != nullptr)
    other.block_->control.callers.fetch_add(1, std::memory_order_relaxed);
  ReleaseBlock(block_);
  block_ = other.block_;
  return *this;
}

CNvxfile& CNvxfile::operator=(const CNvxfile& other) {
  handle_ = other.handle_;
  return *this;
}

CNvxfolder& CNvxfolder::operator=(const CNvxfolder& other) {
  handle_ = other.handle_;
  return *this;
}
