#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/pending_edits.h"
#include "app/upload_tracker.h"
#include "remote/request_worker.h"

namespace wavenard {
namespace {

std::shared_ptr<TUpload> MakeUpload(const QString& AName, qint64 ASent = 0, qint64 ATotal = 0,
                                    qint64 AFileSize = 6000000) {
  auto Upload = std::make_shared<TUpload>();
  Upload->Name = AName;
  Upload->Position = 3;
  Upload->FileSize = AFileSize;
  Upload->State = std::make_shared<TUploadState>();
  Upload->State->Sent = ASent;
  Upload->State->Total = ATotal;
  return Upload;
}

// A tracker whose status line is kept: the last text shown and whether it was to be said.
struct TTrackerFixture {
  TTrackerFixture() {
    QObject::connect(&Tracker, &TUploadTracker::StatusChanged, [this](const QString& AText, bool ASpoken) {
      Shown = AText;
      Spoken = ASpoken;
      ++Shows;
    });
  }

  TPendingEdits Edits;
  TUploadTracker Tracker{Edits};
  QString Shown;
  bool Spoken = false;
  int Shows = 0;
};

TEST(UploadTracker, TheStatusLineShowsAnUploadThenANoticeThenTheEditsThenThePlaylistStatus) {
  TTrackerFixture F;
  F.Tracker.SetPlaylistStatus("Station unreachable");
  EXPECT_EQ(F.Shown, "Station unreachable");

  F.Edits.Add(TPendingEdits::TKind::Delete, {2}, "Glass Mountain");
  F.Tracker.Update();
  EXPECT_EQ(F.Shown, F.Edits.StatusText()) << "the edits on their way come before the playlist's status";

  F.Tracker.SetNotice("Only one voice track can be dropped at a time.");
  EXPECT_EQ(F.Shown, "Only one voice track can be dropped at a time.") << "a notice comes before the edits";

  const auto First = MakeUpload("take 1.flac");
  const auto Second = MakeUpload("take 2.flac");
  F.Tracker.Add(First);
  F.Tracker.Add(Second);
  EXPECT_TRUE(F.Shown.startsWith("Uploading \"take 1.flac\": ")) << F.Shown.toStdString();

  First->State->Cancel();
  F.Tracker.Update();
  EXPECT_TRUE(F.Shown.startsWith("Uploading \"take 2.flac\": ")) << "a cancelled upload is passed over";
  Second->State->Cancel();
  F.Tracker.Update();
  EXPECT_EQ(F.Shown, "Only one voice track can be dropped at a time.") << "then the notice again";

  F.Tracker.Remove(First);
  F.Tracker.Remove(Second);
  F.Tracker.SetNotice(QString());
  EXPECT_EQ(F.Shown, F.Edits.StatusText()) << "an empty notice is none";
}

TEST(UploadTracker, AnUploadIsSaidWhenItIsFirstShownAndOnlyShownAfterwards) {
  TTrackerFixture F;
  const auto Upload = MakeUpload("take 1.flac");
  F.Tracker.Add(Upload);
  EXPECT_TRUE(F.Spoken);
  F.Tracker.Update();
  EXPECT_FALSE(F.Spoken);
  F.Tracker.Remove(Upload);
  F.Tracker.SetNotice("Upload of \"take 1.flac\" cancelled");
  EXPECT_TRUE(F.Spoken) << "everything else is said";
}

TEST(UploadTracker, ANewPlaylistStatusEndsTheNoticeAndTheSameOneKeepsIt) {
  TTrackerFixture F;
  F.Tracker.SetPlaylistStatus(QString());
  F.Tracker.SetNotice("\"take 1.flac\" inserted at 3");
  F.Tracker.SetPlaylistStatus(QString());
  EXPECT_EQ(F.Shown, "\"take 1.flac\" inserted at 3");
  F.Tracker.SetPlaylistStatus("The station sent an empty playlist");
  EXPECT_EQ(F.Shown, "The station sent an empty playlist");
  EXPECT_TRUE(F.Tracker.Notice().isEmpty());

  // Cleared quietly: the caller shows what follows.
  F.Tracker.SetNotice("Track moved");
  const int Shows = F.Shows;
  F.Tracker.ClearNotice();
  EXPECT_EQ(F.Shows, Shows);
  F.Tracker.Update();
  EXPECT_EQ(F.Shown, "The station sent an empty playlist");
}

TEST(UploadTracker, FollowsTheProgressOnlyWhileAnUploadIsInFlight) {
  TTrackerFixture F;
  QSignalSpy Uploading(&F.Tracker, &TUploadTracker::UploadingChanged);
  QTimer* Progress = F.Tracker.findChild<QTimer*>("tmrUploadProgress");
  ASSERT_NE(Progress, nullptr);
  EXPECT_FALSE(Progress->isActive());

  const auto First = MakeUpload("take 1.flac", 0, 100);
  const auto Second = MakeUpload("take 2.flac");
  F.Tracker.Add(First);
  F.Tracker.Add(Second);
  EXPECT_TRUE(Progress->isActive());
  EXPECT_FALSE(F.Tracker.Empty());
  First->State->Sent = 50;
  ASSERT_TRUE(QTest::qWaitFor([&] { return F.Shown.contains("50 % sent"); }, 10000)) << "the timer shows it";

  F.Tracker.Remove(First);
  EXPECT_TRUE(Progress->isActive());
  F.Tracker.Remove(Second);
  EXPECT_FALSE(Progress->isActive());
  EXPECT_TRUE(F.Tracker.Empty());
  ASSERT_EQ(Uploading.size(), 3);
  EXPECT_EQ(Uploading[0][0].toBool(), true);
  EXPECT_EQ(Uploading[2][0].toBool(), false) << "once the last one ends";

  F.Tracker.Add(First);
  F.Tracker.StopFollowing();
  EXPECT_FALSE(Progress->isActive()) << "a closing window follows nothing";
}

TEST(UploadTracker, TheUploadToCancelIsTheFirstStillSending) {
  TTrackerFixture F;
  EXPECT_EQ(F.Tracker.Sending(), nullptr);
  EXPECT_FALSE(F.Tracker.AnyDelivered());
  const auto Cancelled = MakeUpload("take 1.flac");
  const auto Delivered = MakeUpload("take 2.flac");
  const auto Sending = MakeUpload("take 3.flac");
  Cancelled->State->Cancel();
  Delivered->State->Deliver();
  F.Tracker.Add(Cancelled);
  F.Tracker.Add(Delivered);
  EXPECT_EQ(F.Tracker.Sending(), nullptr);
  EXPECT_TRUE(F.Tracker.AnyDelivered());
  F.Tracker.Add(Sending);
  EXPECT_EQ(F.Tracker.Sending(), Sending);
}

TEST(UploadTracker, ProgressIsToldInTheFilesBytes) {
  const struct {
    const char* Name;
    qint64 Sent;
    qint64 Total;
    bool Delivered;
    const char* Text;
  } Cases[] = {
      {"nothing known yet", 0, 0, false, "Uploading \"t.flac\": 0 % sent (0.0 of 6.0 MB)"},
      {"half the body", 4000000, 8000000, false, "Uploading \"t.flac\": 50 % sent (3.0 of 6.0 MB)"},
      {"more than the body", 9000000, 8000000, false, "Uploading \"t.flac\": 100 % sent (6.0 of 6.0 MB)"},
      {"all out, not yet handed over", 8000000, 8000000, false,
       "Uploading \"t.flac\": 100 % sent (6.0 of 6.0 MB)"},
      {"all out and handed over", 8000000, 8000000, true,
       "Uploading \"t.flac\": all sent, waiting for the station's answer"},
      {"handed over, the last bytes still going", 7200000, 8000000, true,
       "Uploading \"t.flac\": 90 % sent (5.4 of 6.0 MB)"},
  };
  for (const auto& C : Cases) {
    const auto Upload = MakeUpload("t.flac", C.Sent, C.Total);
    if (C.Delivered) {
      Upload->State->Deliver();
    }
    EXPECT_EQ(TUploadTracker::ProgressText(*Upload), C.Text) << C.Name;
  }
}

}  // namespace
}  // namespace wavenard
