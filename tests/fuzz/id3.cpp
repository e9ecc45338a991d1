// The ID3v1 remover and writer on a hostile MP3: the tag a file carries is
// read, written back with the fields the program sets, and read again. The
// audio before the tag is never touched.
#include "FuzzUtil.h"
#include "encode/MPGTools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray original = fuzz::Bytes(data, size);
  const QString path = fuzz::WriteInput("song.mp3", original);
  const bool hadTag = original.size() > TMPEGAudio::kTagSize &&
                      original.right(TMPEGAudio::kTagSize).startsWith("TAG");
  const QByteArray audio = hadTag ? original.chopped(TMPEGAudio::kTagSize) : original;

  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(path);
  // Texts as the session sets them: whole strings, cut to fit.
  tag.SetTitle(QString::fromUtf8(tag.Title()) + QString::fromUtf8(audio.left(40)));
  tag.SetComment(QString::fromUtf8(tag.Comment()));
  tag.Track = uint8_t(size);
  FUZZ_CHECK(tag.SaveTag() == 0, path);
  const QByteArray saved = fuzz::ReadAll(path);
  FUZZ_CHECK(saved == audio + tag.TagBlock(), QString::number(saved.size()));
  // A file of one block or less is taken for audio, never for a tag.
  if (audio.isEmpty()) return 0;

  TMPEGAudio again;
  again.ResetData();
  again.SetFileName(path);
  FUZZ_CHECK(again.Title() == tag.Title(), QString::fromUtf8(again.Title()));
  FUZZ_CHECK(again.Artist() == tag.Artist(), QString::fromUtf8(again.Artist()));
  FUZZ_CHECK(again.Album() == tag.Album(), QString::fromUtf8(again.Album()));
  FUZZ_CHECK(again.Year() == tag.Year(), QString::fromUtf8(again.Year()));
  // A track number leaves the comment 28 bytes (ID3v1.1), else 29.
  const QByteArray comment = TMPEGAudio::CutUtf8(tag.Comment(), tag.Track ? 28 : 29);
  FUZZ_CHECK(again.Comment() == comment,
             QString::fromUtf8(again.Comment()) + " | " + QString::fromUtf8(comment));
  FUZZ_CHECK(again.Track == tag.Track && again.Genre == tag.Genre, QString::number(again.Track));

  FUZZ_CHECK(again.RemoveTag() == 0, path);
  FUZZ_CHECK(fuzz::ReadAll(path) == audio, QString());
  return 0;
}
