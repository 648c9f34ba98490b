// The decisions about an account's folder tree that do not depend on where the folders
// are kept: the depth-first order of the folder list, which empty folders a delete-empty
// removes, and which folders a subtree deletion takes. Every store loads the account's
// folders and asks these; the walks use explicit stacks, never recursion, so a chain of
// any depth that an older store may hold costs memory in proportion, not stack. Pure
// functions; any thread.
#ifndef NVX_SERVICE_STORE_FOLDER_TREE_H_
#define NVX_SERVICE_STORE_FOLDER_TREE_H_

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "service/store/store.h"

namespace nvx::service {

// The folders depth first: "MyFiles", then the other top-level folders, siblings by name
// without regard to letter case, each with its level.
std::vector<Folder> FoldersDepthFirst(const std::vector<Folder>& all);

// The folders a delete-empty below `named` removes, children before their parents: a
// folder goes when it is writable, its parent is writable, it holds no document (its id
// is not in `holding`) and every folder below it goes. Nothing below a hidden folder is
// looked at. `named` itself never goes.
std::vector<int64_t> EmptyFoldersBelow(const std::vector<Folder>& all, const Folder& named,
                                       const std::unordered_set<int64_t>& holding);

// The folder `root` and every folder below it, parents first. False when one of them
// cannot be changed (not writable): the tree then goes whole or not at all.
bool SubtreeOf(const std::vector<Folder>& all, const Folder& root, std::vector<int64_t>* ids);

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_FOLDER_TREE_H_
