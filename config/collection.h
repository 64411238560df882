#pragma once

#include <memory>
#include <vector>

#include "config/persistent.h"

namespace wavenard {

class TCollection;

// An entry of a collection; its class's property table holds neither Name nor Tag.
class TCollectionItem : public TPersistent {
 public:
  TCollection* Collection() const { return FCollection; }
  // The 0-based position in the collection, -1 while the item belongs to none.
  int Index() const;

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
};

// An ordered list of items of one class, owning them.
class TCollection {
 public:
  TCollection() = default;
  virtual ~TCollection() = default;
  Q_DISABLE_COPY_MOVE(TCollection)

  int Count() const { return static_cast<int>(FItems.size()); }
  // AIndex must lie in 0 .. Count() - 1.
  TCollectionItem& Items(int AIndex) const { return *FItems.at(static_cast<size_t>(AIndex)); }
  // Appends a new item holding its class's construction values.
  TCollectionItem& Add();
  void Clear() { FItems.clear(); }
  int IndexOf(const TCollectionItem& AItem) const;

 protected:
  virtual std::unique_ptr<TCollectionItem> CreateItem() const = 0;

 private:
  std::vector<std::unique_ptr<TCollectionItem>> FItems;
};

// A collection whose items are all of class TItem.
template <class TItem>
class TCollectionOf : public TCollection {
 public:
  TItem& Items(int AIndex) const { return static_cast<TItem&>(TCollection::Items(AIndex)); }
  TItem& Add() { return static_cast<TItem&>(TCollection::Add()); }

 protected:
  std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<TItem>(); }
};

}  // namespace wavenard
