#include "service/store/folder_tree.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool NameLess(const Folder* a, const Folder* b) {
  return std::lexicographical_compare(a->name.begin(), a->name.end(), b->name.begin(),
                                      b->name.end(),
                                      [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

using ChildMap = std::unordered_map<int64_t, std::vector<const Folder*>>;

// Children of each folder (0 for the top level), siblings sorted by name.
ChildMap ChildrenOf(const std::vector<Folder>& folders) {
  ChildMap children;
  for (const Folder& folder : folders) children[folder.parent].push_back(&folder);
  for (auto& [parent, list] : children) std::sort(list.begin(), list.end(), NameLess);
  return children;
}

// Visits `roots` and everything below them depth first, each folder before the folders
// below it and siblings in order. `visit(folder, level)` returns whether to go below the
// folder.
template <typename Visit>
void WalkDepthFirst(const ChildMap& children, const std::vector<const Folder*>& roots,
                    int64_t level, Visit visit) {
  std::vector<std::pair<const Folder*, int64_t>> stack;
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.emplace_back(*it, level);
  while (!stack.empty()) {
    auto [folder, at] = stack.back();
    stack.pop_back();
    if (!visit(*folder, at)) continue;
    auto found = children.find(folder->id);
    if (found == children.end()) continue;
    for (auto it = found->second.rbegin(); it != found->second.rend(); ++it) {
      stack.emplace_back(*it, at + 1);
    }
  }
}

std::vector<const Folder*> ChildrenList(const ChildMap& children, int64_t id) {
  auto found = children.find(id);
  return found == children.end() ? std::vector<const Folder*>() : found->second;
}

}  // namespace

std::vector<Folder> FoldersDepthFirst(const std::vector<Folder>& all) {
  ChildMap children = ChildrenOf(all);
  std::vector<const Folder*> top = ChildrenList(children, 0);
  // "MyFiles" leads; the other top-level folders follow by name.
  std::stable_partition(top.begin(), top.end(),
                        [](const Folder* f) { return EqualsIgnoreCase(f->name, "MyFiles"); });
  std::vector<Folder> folders;
  folders.reserve(all.size());
  WalkDepthFirst(children, top, 0, [&](const Folder& folder, int64_t level) {
    folders.push_back(folder);
    folders.back().level = static_cast<int>(level);
    return true;
  });
  return folders;
}

std::vector<int64_t> EmptyFoldersBelow(const std::vector<Folder>& all, const Folder& named,
                                       const std::unordered_set<int64_t>& holding) {
  ChildMap children = ChildrenOf(all);
  std::unordered_map<int64_t, const Folder*> by_id;
  for (const Folder& folder : all) by_id[folder.id] = &folder;
  // Every folder below the named one, parents before children; a hidden folder is listed
  // (it stays) but nothing below it is.
  std::vector<const Folder*> order;
  WalkDepthFirst(children, ChildrenList(children, named.id), 1, [&](const Folder& folder, int64_t) {
    order.push_back(&folder);
    return folder.access != kAccessNone;
  });
  // Children before parents: a folder goes when it is writable, its parent is writable,
  // it holds no document and every folder below it went.
  std::unordered_set<int64_t> keeps_a_child;
  std::vector<int64_t> going;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const Folder& folder = **it;
    const Folder* parent = folder.parent == named.id ? &named : by_id[folder.parent];
    bool goes = folder.access == kAccessWrite && parent->access == kAccessWrite &&
                holding.count(folder.id) == 0 && keeps_a_child.count(folder.id) == 0;
    if (!goes) {
      keeps_a_child.insert(folder.parent);
      continue;
    }
    going.push_back(folder.id);
  }
  return going;
}

bool SubtreeOf(const std::vector<Folder>& all, const Folder& root, std::vector<int64_t>* ids) {
  ChildMap children = ChildrenOf(all);
  bool writable = true;
  ids->clear();
  WalkDepthFirst(children, {&root}, 0, [&](const Folder& folder, int64_t) {
    writable &= folder.access == kAccessWrite;
    ids->push_back(folder.id);
    return true;
  });
  return writable;
}

}  // namespace nvx::service
