#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>
#include <variant>

#include "config/collection.h"
#include "config/property_table.h"

namespace wavenard::test {

// Gives every persisted property of AObject, and of two new items in each of its collections, a
// value that differs from its construction value and its default, so that all of them are written.
// ACounter makes each value distinct.
inline void SetEveryValue(TPersistent& AObject, int& ACounter) {
  for (const TPropertyInfo& Info : AObject.PropertyTable().Properties()) {
    if (!Info.Stored || !Info.Writable) {
      continue;
    }
    ++ACounter;
    switch (Info.Kind) {
      case TPropertyKind::Integer: {
        const TOrdinalAccess& Access = std::get<TOrdinalAccess>(Info.Access);
        Access.Set(AObject, Access.Get(AObject) + ACounter);
        break;
      }
      case TPropertyKind::Boolean:
      case TPropertyKind::Enumeration: {
        const TOrdinalAccess& Access = std::get<TOrdinalAccess>(Info.Access);
        Access.Set(AObject, (Access.Get(AObject) + 1) % Info.Names.Count());
        break;
      }
      case TPropertyKind::Set:
        std::get<TOrdinalAccess>(Info.Access).Set(AObject, ACounter % ((1 << Info.Names.Count()) - 1) + 1);
        break;
      case TPropertyKind::Float:
        std::get<TFloatAccess>(Info.Access).Set(AObject, ACounter + 0.25);
        break;
      case TPropertyKind::String:
        std::get<TTextAccess>(Info.Access)
            .Set(AObject, QStringLiteral("C:\\Station's value %1 \u00e9").arg(ACounter));
        break;
      case TPropertyKind::StringList:
        *std::get<TNestedAccess<QStringList>>(Info.Access).Edit(AObject) =
            QStringList{QStringLiteral("line %1").arg(ACounter), QString()};
        break;
      case TPropertyKind::Collection: {
        TCollection& Collection = *std::get<TNestedAccess<TCollection>>(Info.Access).Edit(AObject);
        Collection.Clear();
        SetEveryValue(Collection.Add(), ACounter);
        SetEveryValue(Collection.Add(), ACounter);
        break;
      }
      default:
        throw std::logic_error("a kind the records here do not use");
    }
  }
}

}  // namespace wavenard::test
