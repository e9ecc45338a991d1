// TMPEGAudio: the ID3 version 1.1 tag of an MP3 file, the fixed 128-byte
// block at its end. Holds the tag fields, reads an existing tag when given a
// file, removes it and appends a new one. Used by the conversion session on
// the user-interface thread, one object per tagged file.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/Exception.h"

// A seek, read, cut or write that failed after the file had been opened.
class EMPEGAudioError : public Exception {
 public:
  using Exception::Exception;
};

class TMPEGAudio {
 public:
  static constexpr int kTagSize = 128;
  static constexpr int kTextCapacity = 30;
  static constexpr int kYearCapacity = 4;

  TMPEGAudio() = default;

  // Every field to its empty value: blank year, genre 255, track 0.
  void ResetData();

  // Stores the path and, when ReadOnSetFileName is on, loads the fields of an
  // existing tag of that file.
  void SetFileName(const QString& path);
  const QString& FileName() const { return FFileName; }
  bool ReadOnSetFileName = true;

  // Text fields keep the UTF-8 bytes before any NUL that fit their capacity,
  // cut at a character boundary.
  void SetTitle(const QString& text) { FTitle = FitField(text, kTextCapacity); }
  void SetArtist(const QString& text) { FArtist = FitField(text, kTextCapacity); }
  void SetAlbum(const QString& text) { FAlbum = FitField(text, kTextCapacity); }
  void SetYear(const QString& text) { FYear = FitField(text, kYearCapacity); }
  void SetComment(const QString& text) { FComment = FitField(text, kTextCapacity); }
  const QByteArray& Title() const { return FTitle; }
  const QByteArray& Artist() const { return FArtist; }
  const QByteArray& Album() const { return FAlbum; }
  const QByteArray& Year() const { return FYear; }
  const QByteArray& Comment() const { return FComment; }
  uint8_t Genre = 0;
  uint8_t Track = 0;

  // -1 when the file does not exist, else the errno of opening it (0 = success).
  // Throws EMPEGAudioError when the file fails after it was opened.
  int32_t RemoveTag();
  int32_t SaveTag();

  // The 128-byte block of the current fields.
  QByteArray TagBlock() const;

  // At most capacity bytes of the text's UTF-8, never ending inside a character.
  static QByteArray FitField(const QString& text, int capacity);
  static QByteArray CutUtf8(QByteArray bytes, int capacity);

 private:
  void ReadTag();

  QString FFileName;
  QByteArray FTitle, FArtist, FAlbum, FYear, FComment;
};

// The ID3v1 genre code of a genre name, compared without case: the CDDB
// categories first (blues 0, classical 32, country 2, data 12, folk 80,
// jazz 8, misc 12, newage 10, reggae 16, rock 17, soundtrack 24), then the
// ID3v1 genre names; 255 for anything else.
uint8_t GenreCode(const QString& name);
