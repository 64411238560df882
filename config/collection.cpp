#include "config/collection.h"

namespace wavenard {

int TCollectionItem::Index() const {
  return FCollection == nullptr ? -1 : FCollection->IndexOf(*this);
}

TCollectionItem& TCollection::Add() {
  std::unique_ptr<TCollectionItem> Item = CreateItem();
  Item->FCollection = this;
  FItems.push_back(std::move(Item));
  return *FItems.back();
}

int TCollection::IndexOf(const TCollectionItem& AItem) const {
  for (size_t I = 0; I < FItems.size(); ++I) {
    if (FItems[I].get() == &AItem) {
      return static_cast<int>(I);
    }
  }
  return -1;
}

}  // namespace wavenard
