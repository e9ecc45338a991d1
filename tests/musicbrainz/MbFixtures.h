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

inline QByteArray XmlResponse(const QByteArray& body, const QByteArray& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/xml; charset=utf-8\r\n" +
         "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

}  // namespace testutil
