#include "app/DiscImageCheck.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/paranoia.h>
#include <cdio/version.h>
#include <lame/lame.h>

#include <QStringList>
#include <memory>

#include "libs/cdrip/cdrip.h"

namespace {

QStringList* gLogLines = nullptr;

void CollectLog(cdio_log_level_t level, const char* message) {
  if (gLogLines && level >= CDIO_LOG_WARN && message)
    *gLogLines << QString::fromLocal8Bit(message).simplified();
}

// The first word of a version text: libcdio appends the build's platform.
QString FirstWord(const char* text) {
  return text ? QString::fromLatin1(text).section(u' ', 0, 0) : QString("unknown");
}

}  // namespace

QString DiscImageProblem(const QString& imagePath) {
  // The CD-reading library reads cue sheets itself and names the sheet's
  // line and file at fault.
  if (imagePath.endsWith(".cue", Qt::CaseInsensitive)) {
    char message[1024];
    return CR_CheckImage(imagePath.toLocal8Bit().constData(), message, sizeof message) == CDRIP_OK
               ? QString()
               : QString::fromUtf8(message);
  }
  QStringList lines;
  gLogLines = &lines;
  const cdio_log_handler_t previous = cdio_log_set_handler(CollectLog);
  struct TClose {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
  };
  const std::unique_ptr<CdIo_t, TClose> cdio(
      cdio_open(imagePath.toLocal8Bit().constData(), DRIVER_UNKNOWN));
  const track_t tracks = cdio ? cdio_get_num_tracks(cdio.get()) : track_t(CDIO_INVALID_TRACK);
  cdio_log_set_handler(previous);
  gLogLines = nullptr;

  if (cdio && tracks != CDIO_INVALID_TRACK && tracks > 0) return QString();
  lines.removeAll(QString());
  lines.removeDuplicates();
  if (!lines.isEmpty()) return lines.join("; ");
  if (cdio) return QStringLiteral("it holds no track");
  return QStringLiteral(
      "libcdio does not recognise it as a disc image (.cue with its .bin, .toc "
      "or .nrg)");
}

QString LibraryVersions() {
  return QStringLiteral("libcdio %1, libcdio-paranoia %2, LAME %3")
      .arg(FirstWord(cdio_version_string), FirstWord(cdio_paranoia_version()),
           FirstWord(get_lame_version()));
}
