#pragma once

#include <QString>
#include <vector>

namespace wavenard {

// The deletes and moves on their way to the station, by the rows they name. Until the list
// that follows their answer arrives those rows are not what they seem: a second edit naming
// one would act on whatever the first leaves at that position.
class TPendingEdits final {
 public:
  enum class TKind { Delete, Move };

  // Returns the edit's key. ATitle is the track the presenter meant (the first row's).
  int Add(TKind AKind, std::vector<int> ARows, QString ATitle);
  // The station answered: the edit ends with the first list asked for after now, which is
  // the one numbered ANextRefresh.
  void Answered(int AKey, int ANextRefresh);
  // The edit failed: the rows are what they were.
  void Remove(int AKey);
  // A list numbered ARefresh arrived; the edits it shows done end. False when none ended.
  bool RefreshArrived(int ARefresh);

  bool Empty() const { return FEdits.empty(); }
  bool Pending(int ARow) const;
  // Whether an edit names any of ARows, and if so the text that says why another is refused.
  QString Refusal(const std::vector<int>& ARows) const;
  // For the status panel, the latest edit: "Deleting "Glass Mountain"…".
  QString StatusText() const;
  // The pending flag of each of ACount rows.
  std::vector<bool> Rows(int ACount) const;

 private:
  struct TEdit {
    int Key = 0;
    TKind Kind = TKind::Delete;
    std::vector<int> Rows;
    QString Title;
    // 0 until answered.
    int EndsWithRefresh = 0;
  };
  const TEdit* Naming(const std::vector<int>& ARows) const;

  std::vector<TEdit> FEdits;
  int FNextKey = 1;
};

}  // namespace wavenard
