#include "app/pending_edits.h"

#include <algorithm>

namespace wavenard {

int TPendingEdits::Add(TKind AKind, std::vector<int> ARows, QString ATitle) {
  FEdits.push_back(TEdit{FNextKey, AKind, std::move(ARows), std::move(ATitle), 0});
  return FNextKey++;
}

void TPendingEdits::Answered(int AKey, int ANextRefresh) {
  for (TEdit& Edit : FEdits) {
    if (Edit.Key == AKey) {
      Edit.EndsWithRefresh = ANextRefresh;
    }
  }
}

void TPendingEdits::Remove(int AKey) {
  std::erase_if(FEdits, [AKey](const TEdit& AEdit) { return AEdit.Key == AKey; });
}

bool TPendingEdits::RefreshArrived(int ARefresh) {
  return std::erase_if(FEdits, [ARefresh](const TEdit& AEdit) {
           return AEdit.EndsWithRefresh != 0 && AEdit.EndsWithRefresh <= ARefresh;
         }) > 0;
}

const TPendingEdits::TEdit* TPendingEdits::Naming(const std::vector<int>& ARows) const {
  for (const TEdit& Edit : FEdits) {
    for (const int Row : ARows) {
      if (std::find(Edit.Rows.begin(), Edit.Rows.end(), Row) != Edit.Rows.end()) {
        return &Edit;
      }
    }
  }
  return nullptr;
}

bool TPendingEdits::Pending(int ARow) const {
  return Naming({ARow}) != nullptr;
}

QString TPendingEdits::Refusal(const std::vector<int>& ARows) const {
  const TEdit* Edit = Naming(ARows);
  if (Edit == nullptr) {
    return {};
  }
  return (Edit->Kind == TKind::Delete
              ? QStringLiteral("\"%1\" is being deleted; wait for the station's answer.")
              : QStringLiteral("\"%1\" is being moved; wait for the station's answer."))
      .arg(Edit->Title);
}

QString TPendingEdits::StatusText() const {
  if (FEdits.empty()) {
    return {};
  }
  const TEdit& Edit = FEdits.back();
  return (Edit.Kind == TKind::Delete ? QStringLiteral("Deleting \"%1\"\u2026")
                                     : QStringLiteral("Moving \"%1\"\u2026"))
      .arg(Edit.Title);
}

std::vector<bool> TPendingEdits::Rows(int ACount) const {
  std::vector<bool> Result(static_cast<size_t>(std::max(ACount, 0)), false);
  for (const TEdit& Edit : FEdits) {
    for (const int Row : Edit.Rows) {
      if (Row >= 0 && Row < ACount) {
        Result[static_cast<size_t>(Row)] = true;
      }
    }
  }
  return Result;
}

}  // namespace wavenard
