#pragma once

#include <QtGlobal>

namespace wavenard {

class TPropertyTable;

// An object whose published properties are persisted as object text: records, collection items and
// the objects nested in them.
class TPersistent {
 public:
  TPersistent() = default;
  virtual ~TPersistent() = default;
  Q_DISABLE_COPY_MOVE(TPersistent)

  virtual const TPropertyTable& PropertyTable() const = 0;

  // Called around writing or applying this object's values as a whole. A record that other threads
  // read takes its lock here, so they see either all old or all new values.
  virtual void BeginValueAccess() const {}
  virtual void EndValueAccess() const {}
};

// Holds an object's value access for a scope.
class TValueAccess final {
 public:
  explicit TValueAccess(const TPersistent& AObject) : FObject(AObject) { FObject.BeginValueAccess(); }
  ~TValueAccess() { FObject.EndValueAccess(); }
  Q_DISABLE_COPY_MOVE(TValueAccess)

 private:
  const TPersistent& FObject;
};

}  // namespace wavenard
