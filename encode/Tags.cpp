#include "encode/Tags.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/xiphcomment.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "encode/CoverImage.h"
#include "encode/FileFormats.h"
#include "encode/MPGTools.h"

namespace {

TagLib::String Text(const QString& text) {
  return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString Number(int number, int total) {
  if (number <= 0) return {};
  return total > 0 ? QString("%1/%2").arg(number).arg(total) : QString::number(number);
}

QString GainText(double gain) { return QString::asprintf("%.2f dB", gain); }
QString PeakText(double peak) { return QString::asprintf("%.6f", peak); }

QString Positive(int number) { return number > 0 ? QString::number(number) : QString(); }

// Name and values of every Vorbis comment the tags set; values may be empty.
std::vector<std::pair<const char*, QStringList>> VorbisFields(const TTrackTags& tags, bool opus) {
  std::vector<std::pair<const char*, QStringList>> fields = {
      {"TITLE", {tags.Title}},
      {"ARTIST", {tags.Artist}},
      {"ARTISTSORT", {tags.ArtistSort}},
      {"ALBUM", {tags.Album}},
      {"ALBUMARTIST", {tags.AlbumArtist}},
      {"ALBUMARTISTSORT", {tags.AlbumArtistSort}},
      {"TRACKNUMBER", {Positive(tags.TrackNumber)}},
      {"TRACKTOTAL", {Positive(tags.TrackTotal)}},
      {"DISCNUMBER", {Positive(tags.DiscNumber)}},
      {"DISCTOTAL", {Positive(tags.DiscTotal)}},
      {"COMPILATION", {tags.Compilation ? QStringLiteral("1") : QString()}},
      {"DATE", {tags.Date}},
      {"ORIGINALDATE", {tags.OriginalDate}},
      {"GENRE", {tags.Genre}},
      {"COMMENT", {tags.Comment}},
      {"ENCODER", {tags.Encoder}},
      {"ISRC", {tags.Isrc}},
      {"LABEL", {tags.Label}},
      {"CATALOGNUMBER", {tags.CatalogNumber}},
      {"BARCODE", {tags.Barcode}},
      {"RELEASECOUNTRY", {tags.ReleaseCountry}},
      {"MUSICBRAINZ_ALBUMID", {tags.MusicBrainzAlbumId}},
      {"MUSICBRAINZ_RELEASEGROUPID", {tags.MusicBrainzReleaseGroupId}},
      {"MUSICBRAINZ_TRACKID", {tags.MusicBrainzTrackId}},
      {"MUSICBRAINZ_RELEASETRACKID", {tags.MusicBrainzReleaseTrackId}},
      {"MUSICBRAINZ_ARTISTID", tags.MusicBrainzArtistIds},
      {"MUSICBRAINZ_ALBUMARTISTID", tags.MusicBrainzAlbumArtistIds},
      {"MUSICBRAINZ_DISCID", {tags.MusicBrainzDiscId}},
  };
  // Opus players apply R128 gains relative to -23 LUFS, and the Ogg Opus
  // mapping asks encoders not to write REPLAYGAIN_ fields there.
  if (opus) {
    if (tags.TrackGain)
      fields.push_back({"R128_TRACK_GAIN", {QString::number(R128Gain(tags.TrackGain->Gain))}});
    if (tags.AlbumGain)
      fields.push_back({"R128_ALBUM_GAIN", {QString::number(R128Gain(tags.AlbumGain->Gain))}});
  } else {
    if (tags.TrackGain) {
      fields.push_back({"REPLAYGAIN_TRACK_GAIN", {GainText(tags.TrackGain->Gain)}});
      fields.push_back({"REPLAYGAIN_TRACK_PEAK", {PeakText(tags.TrackGain->Peak)}});
    }
    if (tags.AlbumGain) {
      fields.push_back({"REPLAYGAIN_ALBUM_GAIN", {GainText(tags.AlbumGain->Gain)}});
      fields.push_back({"REPLAYGAIN_ALBUM_PEAK", {PeakText(tags.AlbumGain->Peak)}});
    }
  }
  return fields;
}

TagLib::StringList TextList(QStringList values) {
  values.removeAll(QString());
  TagLib::StringList list;
  for (const QString& value : values) list.append(Text(value));
  return list;
}

void SetVorbis(TagLib::Ogg::XiphComment& comment, const TTrackTags& tags, bool opus) {
  for (const auto& [name, values] : VorbisFields(tags, opus)) {
    const TagLib::StringList list = TextList(values);
    for (auto value = list.begin(); value != list.end(); ++value)
      comment.addField(name, *value, value == list.begin());
  }
}

TagLib::FLAC::Picture* NewPicture(const TTrackTags& tags) {
  auto* picture = new TagLib::FLAC::Picture;
  picture->setType(TagLib::FLAC::Picture::FrontCover);
  picture->setMimeType(Text(tags.CoverMime));
  picture->setData(TagLib::ByteVector(tags.Cover.constData(), uint(tags.Cover.size())));
  if (const auto image = ReadCoverImage(tags.Cover)) {
    picture->setWidth(image->Width);
    picture->setHeight(image->Height);
    picture->setColorDepth(image->Depth);
    picture->setNumColors(image->Colors);
  }
  return picture;
}

void SetTextFrame(TagLib::ID3v2::Tag& tag, const char* id, const QString& value) {
  if (value.isEmpty()) return;
  tag.removeFrames(id);
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
  frame->setText(Text(value));
  tag.addFrame(frame);
}

// A TXXX frame; ID3v2.4 keeps several values in one.
void SetUserFrame(TagLib::ID3v2::Tag& tag, const char* description, const QStringList& values) {
  const TagLib::StringList list = TextList(values);
  if (list.isEmpty()) return;
  while (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, description))
    tag.removeFrame(old);
  tag.addFrame(
      new TagLib::ID3v2::UserTextIdentificationFrame(description, list, TagLib::String::UTF8));
}

void SetId3v2(TagLib::ID3v2::Tag& tag, const TTrackTags& tags) {
  SetTextFrame(tag, "TIT2", tags.Title);
  SetTextFrame(tag, "TPE1", tags.Artist);
  SetTextFrame(tag, "TSOP", tags.ArtistSort);
  SetTextFrame(tag, "TALB", tags.Album);
  SetTextFrame(tag, "TPE2", tags.AlbumArtist);
  SetTextFrame(tag, "TSO2", tags.AlbumArtistSort);
  SetTextFrame(tag, "TRCK", Number(tags.TrackNumber, tags.TrackTotal));
  SetTextFrame(tag, "TPOS", Number(tags.DiscNumber, tags.DiscTotal));
  SetTextFrame(tag, "TCMP", tags.Compilation ? QStringLiteral("1") : QString());
  SetTextFrame(tag, "TDRC", tags.Date);
  SetTextFrame(tag, "TDOR", tags.OriginalDate);
  SetTextFrame(tag, "TCON", tags.Genre);
  SetTextFrame(tag, "TSRC", tags.Isrc);
  SetTextFrame(tag, "TSSE", tags.Encoder);
  SetTextFrame(tag, "TPUB", tags.Label);
  if (!tags.Comment.isEmpty()) {
    tag.removeFrames("COMM");
    auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
    comment->setLanguage("eng");
    comment->setText(Text(tags.Comment));
    tag.addFrame(comment);
  }
  SetUserFrame(tag, "CATALOGNUMBER", {tags.CatalogNumber});
  SetUserFrame(tag, "BARCODE", {tags.Barcode});
  SetUserFrame(tag, "MusicBrainz Album Release Country", {tags.ReleaseCountry});
  SetUserFrame(tag, "MusicBrainz Album Id", {tags.MusicBrainzAlbumId});
  SetUserFrame(tag, "MusicBrainz Release Group Id", {tags.MusicBrainzReleaseGroupId});
  SetUserFrame(tag, "MusicBrainz Release Track Id", {tags.MusicBrainzReleaseTrackId});
  SetUserFrame(tag, "MusicBrainz Artist Id", tags.MusicBrainzArtistIds);
  SetUserFrame(tag, "MusicBrainz Album Artist Id", tags.MusicBrainzAlbumArtistIds);
  SetUserFrame(tag, "MusicBrainz Disc Id", {tags.MusicBrainzDiscId});
  if (!tags.MusicBrainzTrackId.isEmpty()) {
    // Where taggers and players look for the recording.
    const TagLib::ByteVector owner("http://musicbrainz.org");
    for (TagLib::ID3v2::Frame* frame : tag.frameList("UFID"))
      if (static_cast<TagLib::ID3v2::UniqueFileIdentifierFrame*>(frame)->owner() == owner)
        tag.removeFrame(frame);
    const QByteArray id = tags.MusicBrainzTrackId.toUtf8();
    tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
        owner, TagLib::ByteVector(id.constData(), uint(id.size()))));
  }
  if (tags.TrackGain) {
    SetUserFrame(tag, "REPLAYGAIN_TRACK_GAIN", {GainText(tags.TrackGain->Gain)});
    SetUserFrame(tag, "REPLAYGAIN_TRACK_PEAK", {PeakText(tags.TrackGain->Peak)});
  }
  if (tags.AlbumGain) {
    SetUserFrame(tag, "REPLAYGAIN_ALBUM_GAIN", {GainText(tags.AlbumGain->Gain)});
    SetUserFrame(tag, "REPLAYGAIN_ALBUM_PEAK", {PeakText(tags.AlbumGain->Peak)});
  }
  if (!tags.Cover.isEmpty()) {
    for (TagLib::ID3v2::Frame* frame : tag.frameList("APIC"))
      if (static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame)->type() ==
          TagLib::ID3v2::AttachedPictureFrame::FrontCover)
        tag.removeFrame(frame);
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setTextEncoding(TagLib::String::UTF8);
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setMimeType(Text(tags.CoverMime));
    picture->setPicture(TagLib::ByteVector(tags.Cover.constData(), uint(tags.Cover.size())));
    tag.addFrame(picture);
  }
}

}  // namespace

QString ReadFolderCover(const QString& folder, QByteArray& data, QString& mime) {
  for (const char* name : {"cover.jpg", "cover.png", "folder.jpg"}) {
    QFile file(QDir(folder).filePath(QString::fromLatin1(name)));
    if (!file.exists()) continue;
    if (file.size() > kMaxCoverBytes)
      return QString("No cover embedded: \"%1\" is larger than 10 MB.").arg(file.fileName());
    if (!file.open(QIODevice::ReadOnly))
      return QString("No cover embedded: \"%1\" cannot be read: %2")
          .arg(file.fileName(), file.errorString());
    const QByteArray bytes = file.read(kMaxCoverBytes + 1);
    QString why;
    const auto image = ReadCoverImage(bytes, &why);
    if (!image) return QString("No cover embedded: \"%1\" holds %2.").arg(file.fileName(), why);
    mime = image->Mime;
    data = bytes;
    return {};
  }
  return {};
}

QString GenreName(const QString& category) {
  const uint8_t code = GenreCode(category);
  const TagLib::String name = TagLib::ID3v1::genre(code);
  return code == 255 || name.isEmpty() ? category : QString::fromStdString(name.to8Bit(true));
}

int R128Gain(double replayGain) {
  // -18 LUFS is 5 dB above -23 LUFS; the field is a signed 16-bit Q7.8 number.
  return int(std::lround(std::clamp((replayGain - 5.0) * 256.0, -32768.0, 32767.0)));
}

QString WriteTags(const QString& path, int32_t format, const TTrackTags& tags) {
  const QByteArray name = QFile::encodeName(path);
  const QString failed = QString("Cannot write the tags of \"%1\"").arg(path);
  switch (FileFormat(format).Tags) {
    case TTagKind::Id3: {
      TagLib::MPEG::File file(name.constData(), false);
      if (!file.isValid()) return failed;
      SetId3v2(*file.ID3v2Tag(true), tags);
      // Only the ID3v2 tag: the ID3v1.1 block at the end stays byte for byte.
      if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate))
        return failed;
      return {};
    }
    case TTagKind::Flac: {
      TagLib::FLAC::File file(name.constData(), false);
      if (!file.isValid()) return failed;
      SetVorbis(*file.xiphComment(true), tags, false);
      if (!tags.Cover.isEmpty()) {
        for (TagLib::FLAC::Picture* old : file.pictureList())
          if (old->type() == TagLib::FLAC::Picture::FrontCover) file.removePicture(old, true);
        file.addPicture(NewPicture(tags));
      }
      return file.save() ? QString() : failed;
    }
    case TTagKind::OggOpus: {
      TagLib::Ogg::Opus::File file(name.constData(), false);
      if (!file.isValid() || !file.tag()) return failed;
      TagLib::Ogg::XiphComment& comment = *file.tag();
      SetVorbis(comment, tags, true);
      if (!tags.Cover.isEmpty()) {
        for (TagLib::FLAC::Picture* old : comment.pictureList())
          if (old->type() == TagLib::FLAC::Picture::FrontCover) comment.removePicture(old, true);
        comment.addPicture(NewPicture(tags));
      }
      return file.save() ? QString() : failed;
    }
    case TTagKind::None:
      break;
  }
  return QString("\"%1\" is of a format without tags").arg(path);
}
