// Web-service answers for the MusicBrainz tests, built as the service writes
// them (mmd-2.0): releases with artist credits, labels, media, disc lists,
// tracks and recordings with ISRCs.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace testutil {

// The MBID a case calls by a short name ("r1", "rec-2"), the same each time.
inline QString MbId(const QString& name) {
  return QUuid::createUuidV5(QUuid(), name).toString(QUuid::WithoutBraces);
}

struct TMbFixtureTrack {
  TMbFixtureTrack(const char* title, const char* artist = "", const char* isrc = "")
      : Title(QString::fromUtf8(title)), Artist(QString::fromUtf8(artist)), Isrc(isrc) {}
  QString Title;
  QString Artist;  // empty: the track has no credit of its own
  QString Isrc;
};

// <release> with one medium per entry of media; the discs name the medium's
// disc IDs. IDs are the MBIDs of their short names (MbId).
inline QByteArray MbTrackXml(int position, const TMbFixtureTrack& track) {
  QString artist;
  if (!track.Artist.isEmpty())
    artist = QString(
                 "<artist-credit><name-credit><artist id=\"%1\"><name>%2</name></artist>"
                 "</name-credit></artist-credit>")
                 .arg(MbId(QString("a-%1").arg(position)))
                 .arg(track.Artist.toHtmlEscaped());
  const QString isrc = track.Isrc.isEmpty() ? QString()
                                            : QString(
                                                  "<isrc-list count=\"1\"><isrc id=\"%1\"/>"
                                                  "</isrc-list>")
                                                  .arg(track.Isrc);
  return QString(
             "<track id=\"t-%1\"><position>%1</position><number>%1</number>"
             "<length>200000</length><recording id=\"%5\"><title>%2</title>%3%4"
             "</recording></track>")
      .arg(position)
      .arg(track.Title.toHtmlEscaped(), artist, isrc, MbId(QString("rec-%1").arg(position)))
      .toUtf8();
}

inline QByteArray MbMediumXml(int position, const QStringList& discIds,
                              const QList<TMbFixtureTrack>& tracks) {
  QByteArray xml = "<medium><position>" + QByteArray::number(position) +
                   "</position><format>CD</format><disc-list count=\"" +
                   QByteArray::number(discIds.size()) + "\">";
  for (const QString& id : discIds)
    xml += "<disc id=\"" + id.toUtf8() + "\"><sectors>675</sectors></disc>";
  xml +=
      "</disc-list><track-list count=\"" + QByteArray::number(tracks.size()) + "\" offset=\"0\">";
  for (int i = 0; i < tracks.size(); ++i) xml += MbTrackXml(i + 1, tracks[i]);
  return xml + "</track-list></medium>";
}

inline QByteArray MbReleaseXml(const QString& id, const QString& title, const QString& artist,
                               const QByteArray& media, const QString& date = "1988-01-05") {
  return QString(
             "<release id=\"%5\"><title>%2</title><status>Official</status>"
             "<artist-credit><name-credit><artist id=\"%6\"><name>%3</name>"
             "<sort-name>%3</sort-name></artist></name-credit></artist-credit>"
             "<release-group id=\"%7\" type=\"Album\"><title>%2</title></release-group>"
             "<date>%4</date><country>XE</country><barcode>4601234567890</barcode>"
             "<label-info-list count=\"1\"><label-info><catalog-number>CAT-%1</catalog-number>"
             "<label id=\"l-1\"><name>Мелодия</name></label></label-info></label-info-list>"
             "<medium-list count=\"1\">")
             .arg(id, title.toHtmlEscaped(), artist.toHtmlEscaped(), date, MbId(id),
                  MbId("artist-" + id), MbId("rg-" + id))
             .toUtf8() +
         media + "</medium-list></release>";
}

// The answer to /ws/2/discid/<id> (or its fuzzy form without the disc).
inline QByteArray MbAnswer(const QList<QByteArray>& releases, const QString& discId = QString()) {
  QByteArray list = "<release-list count=\"" + QByteArray::number(releases.size()) + "\">";
  for (const QByteArray& release : releases) list += release;
  list += "</release-list>";
  if (!discId.isEmpty())
    list = "<disc id=\"" + discId.toUtf8() + "\"><sectors>675</sectors>" + list + "</disc>";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\">" +
         list + "</metadata>";
}

// Answers as the service writes them for /ws/2/discid/<id>?inc=artist-credits+
// labels+recordings+release-groups+isrcs, with the elements the reader passes
// over, for a disc of three tracks: a various-artists compilation (tracks
// credited to one artist, to two joined by "feat.", and under another name),
// and the second disc of a two-disc album. IDs are MbId's of short names.
enum class TMbRecorded { Compilation, SecondOfTwo };

inline QByteArray MbRecordedAnswer(TMbRecorded kind, const QString& discId) {
  const auto artist = [](const char* key, const char* name, const char* sort,
                         const char* credited = nullptr, const char* join = nullptr) {
    return QString(
               "<name-credit%1>%2<artist id=\"%3\" type=\"Group\" "
               "type-id=\"e431f5f6-b5d2-343d-8b36-72607fffb74b\"><name>%4</name>"
               "<sort-name>%5</sort-name></artist></name-credit>")
        .arg(join ? QString(" joinphrase=\"%1\"").arg(join) : QString(),
             credited ? QString("<name>%1</name>").arg(credited) : QString(), MbId(key), name,
             sort);
  };
  const auto track = [](const char* key, int position, const char* title, const QString& credit,
                        const char* isrc) {
    const QString artistCredit = "<artist-credit>" + credit + "</artist-credit>";
    return QString(
               "<track id=\"%1\"><position>%2</position><number>%2</number>"
               "<length>201000</length>%3<recording id=\"%4\"><title>%5</title>"
               "<length>201000</length>%3<isrc-list count=\"1\"><isrc id=\"%6\"/>"
               "</isrc-list></recording></track>")
        .arg(MbId(QString("track-") + key))
        .arg(position)
        .arg(artistCredit, MbId(QString("rec-") + key), title, isrc);
  };
  const auto medium = [&discId](int position, bool holdsDisc, const QStringList& tracks) {
    return QString(
               "<medium><position>%1</position><format "
               "id=\"9712d52a-4509-3d4b-a1a2-67c88c643e31\">CD</format>"
               "<disc-list count=\"1\"><disc id=\"%2\"><sectors>825</sectors></disc>"
               "</disc-list><track-list count=\"%3\" offset=\"0\">%4</track-list></medium>")
        .arg(position)
        .arg(holdsDisc ? discId : MbId("other-disc"))
        .arg(tracks.size())
        .arg(tracks.join(QString()));
  };
  QString release, credit, groupDate;
  QString media;
  if (kind == TMbRecorded::Compilation) {
    release = "va";
    credit = artist("various", "Various Artists", "Various Artists");
    // The database's own ID of "Various Artists".
    credit.replace(MbId("various"), "89ad4ac3-39f7-470e-963a-56509c546377");
    groupDate = "1995-11-20";
    media = medium(
        1, true,
        {track("va1", 1, "Song A", artist("alpha", "Alpha Band", "Alpha Band"), "GBAAA9500001"),
         track("va2", 2, "Night Drive",
               artist("lyra", "Lyra Vale", "Vale, Lyra", nullptr, " feat. ") +
                   artist("osric", "Osric Dane", "Dane, Osric"),
               "GBAAA9500002"),
         track("va3", 3, "Sørlandet", artist("orn", "Tomáš Ørn", "Ørn, Tomáš", "T. Ørn"),
               "NOAAA9500003")});
  } else {
    release = "two";
    credit = artist("quiet", "The Quiet Hours", "Quiet Hours, The");
    groupDate = "2003";
    QStringList first;
    for (int i = 1; i <= 4; ++i)
      first << track(qPrintable(QString("two1-%1").arg(i)), i, "Side", credit, "USQQQ0300001");
    media = medium(1, false, first) +
            medium(2, true,
                   {track("two2-1", 1, "Harbour Lights", credit, "USQQQ0300011"),
                    track("two2-2", 2, "Long Way Home", credit, "USQQQ0300012"),
                    track("two2-3", 3, "Last Ferry", credit, "USQQQ0300013")});
  }
  const bool compilation = kind == TMbRecorded::Compilation;
  const QString xml =
      QString(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata "
          "xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\"><disc id=\"%1\"><sectors>825</sectors>"
          "<offset-list count=\"3\"><offset position=\"1\">150</offset><offset "
          "position=\"2\">300</offset><offset position=\"3\">600</offset></offset-list>"
          "<release-list count=\"1\"><release id=\"%2\"><title>%3</title>"
          "<status id=\"4e304316-386d-3409-af2e-78857eec5cfe\">Official</status>"
          "<quality>normal</quality><packaging id=\"ec27701a-4a22-37f4-bfac-6616e0f9750a\">"
          "Jewel Case</packaging><text-representation><language>eng</language><script>Latn"
          "</script></text-representation><artist-credit>%4</artist-credit>"
          "<release-group id=\"%5\" type=\"%6\"><title>%3</title><first-release-date>%7"
          "</first-release-date><primary-type>Album</primary-type><artist-credit>%4"
          "</artist-credit></release-group><date>%8</date><country>%9</country>"
          "<release-event-list count=\"1\"><release-event><date>%8</date><area id=\"%10\">"
          "<name>Somewhere</name><sort-name>Somewhere</sort-name></area></release-event>"
          "</release-event-list><barcode>%11</barcode><asin>B000000000</asin>"
          "<cover-art-archive><artwork>false</artwork><count>0</count><front>false</front>"
          "<back>false</back></cover-art-archive><label-info-list count=\"1\"><label-info>"
          "<catalog-number>%12</catalog-number><label id=\"%13\"><name>%14</name>"
          "<sort-name>%14</sort-name><label-code>1234</label-code></label></label-info>"
          "</label-info-list><medium-list count=\"%15\">%16</medium-list></release>"
          "</release-list></disc></metadata>")
          .arg(discId, MbId(release), compilation ? "Hits of &apos;96" : "Long Way Home", credit,
               MbId("rg-" + release), compilation ? "Compilation" : "Album", groupDate,
               compilation ? "1996-10-07" : "2003-03-17", compilation ? "GB" : "XE")
          .arg(MbId("area"), compilation ? "5012345678900" : "",
               compilation ? "NBR CD 104" : "EA-2003/2", MbId("label-" + release),
               compilation ? "Northbound Records" : "Ember &amp; Ash")
          .arg(compilation ? 1 : 2)
          .arg(media);
  return xml.toUtf8();
}

inline QByteArray XmlResponse(const QByteArray& body, const QByteArray& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/xml; charset=utf-8\r\n" +
         "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

}  // namespace testutil
