#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>
#include <memory>

#include "app/playlist_drop.h"

namespace wavenard {
namespace {

std::unique_ptr<QMimeData> Urls(const QList<QUrl>& AUrls) {
  auto Data = std::make_unique<QMimeData>();
  Data->setUrls(AUrls);
  return Data;
}

TEST(PlaylistDrop, ADroppedVoiceTrackIsOneLocalFlacFile) {
  const QString Several = "Only one voice track can be dropped at a time.";
  const auto Text = std::make_unique<QMimeData>();
  Text->setText("/tmp/take.flac");
  const struct {
    const char* Name;
    std::unique_ptr<QMimeData> Data;
    const char* Path;
    QString Reason;
  } Cases[] = {
      {"one local FLAC file", Urls({QUrl::fromLocalFile("/tmp/take.flac")}), "/tmp/take.flac", {}},
      {"any case of the extension", Urls({QUrl::fromLocalFile("/tmp/TAKE.Flac")}), "/tmp/TAKE.Flac", {}},
      {"another kind of file", Urls({QUrl::fromLocalFile("/tmp/take.wav")}), "", {}},
      {"a remote file", Urls({QUrl("https://example.org/take.flac")}), "", {}},
      {"two files", Urls({QUrl::fromLocalFile("/tmp/a.flac"), QUrl::fromLocalFile("/tmp/b.flac")}), "",
       Several},
      {"no files", std::make_unique<QMimeData>(), "", {}},
  };
  for (const auto& C : Cases) {
    const TDroppedFile File = DroppedVoiceTrack(C.Data.get());
    EXPECT_EQ(File.Path, C.Path) << C.Name;
    EXPECT_EQ(File.Reason, C.Reason) << C.Name;
  }
  EXPECT_TRUE(DroppedVoiceTrack(Text.get()).Path.isEmpty()) << "a path as text is no file";
  EXPECT_TRUE(DroppedVoiceTrack(nullptr).Path.isEmpty());
}

TEST(PlaylistDrop, OwnRowsMoveAloneAndAFileGoesOntoARow) {
  const auto Flac = Urls({QUrl::fromLocalFile("/tmp/take.flac")});
  const auto Wav = Urls({QUrl::fromLocalFile("/tmp/take.wav")});
  const auto Two = Urls({QUrl::fromLocalFile("/tmp/a.flac"), QUrl::fromLocalFile("/tmp/b.flac")});
  const QString Several = "Only one voice track can be dropped at a time.";
  const struct {
    const char* Name;
    TPlaylistDrag Drag;
    bool Accepted;
    QString Reason;
  } Cases[] = {
      // Data, own drag, selected, row, rows, closing.
      {"one own row onto a row", {nullptr, true, 1, 3, 10, false}, true, {}},
      {"one own row below the rows", {nullptr, true, 1, -1, 10, false}, true, {}},
      {"two own rows", {nullptr, true, 2, 3, 10, false}, false, {}},
      {"own drag, nothing selected", {nullptr, true, 0, 3, 10, false}, false, {}},
      {"a file onto a row", {Flac.get(), false, 0, 3, 10, false}, true, {}},
      {"a file onto the last row", {Flac.get(), false, 2, 9, 10, false}, true, {}},
      {"a file below the rows", {Flac.get(), false, 0, -1, 10, false}, false, {}},
      {"a file onto a row the list no longer has", {Flac.get(), false, 0, 10, 10, false}, false, {}},
      {"a file before any list arrived", {Flac.get(), false, 0, 0, 0, false}, false, {}},
      {"a file while the window closes", {Flac.get(), false, 0, 3, 10, true}, false, {}},
      {"another kind of file", {Wav.get(), false, 0, 3, 10, false}, false, {}},
      {"two files, with the reason", {Two.get(), false, 0, 3, 10, false}, false, Several},
      {"two files while closing, still told", {Two.get(), false, 0, 3, 10, true}, false, Several},
  };
  for (const auto& C : Cases) {
    const TDropAnswer Answer = AnswerPlaylistDrag(C.Drag);
    EXPECT_EQ(Answer.Accepted, C.Accepted) << C.Name;
    EXPECT_EQ(Answer.Reason, C.Reason) << C.Name;
  }
  EXPECT_EQ(PlaylistDropAction(true), Qt::MoveAction);
  EXPECT_EQ(PlaylistDropAction(false), Qt::CopyAction) << "the file manager keeps its file";
}

}  // namespace
}  // namespace wavenard
