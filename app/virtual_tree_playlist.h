#pragma once

#include "app/zn_virtual_tree.h"

namespace wavenard {

// The class of the playlist window's list.
class TVirtualTreePlaylist final : public TZnVirtualTree {
  Q_OBJECT

 public:
  using TZnVirtualTree::TZnVirtualTree;
};

}  // namespace wavenard
