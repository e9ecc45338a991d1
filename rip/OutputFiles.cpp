#include "rip/OutputFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "settings/Naming.h"

namespace {

// "<name><mark>.<ext>" beside the output, the name cut between two characters
// so that the whole stays a name the file system takes.
QString MarkedPath(const QString& outputPath, const QString& mark) {
  const QFileInfo output(outputPath);
  const QString ending = mark + '.' + output.suffix();
  const QString name =
      CutToBytes(output.completeBaseName(), kMaxNameBytes - ending.toUtf8().size());
  return output.dir().filePath(name + ending);
}

}  // namespace

QString TOutputFiles::NewTemp(const QString& folder, const QString& suffix, QString* error) {
  const QString path = CreateTempFile(folder, suffix, error);
  if (!path.isEmpty()) FTemps << path;
  return path;
}

void TOutputFiles::RemoveTemp(const QString& path) {
  if (path.isEmpty()) return;
  QFile::remove(path);
  FTemps.removeAll(path);
}

void TOutputFiles::RemoveTemps() {
  for (const QString& path : QStringList(FTemps)) RemoveTemp(path);
}

void TOutputFiles::RemoveDeadTemps(const QSet<QString>& folders) {
  // What a killed run left: its files are no one's any more.
  for (const QString& folder : folders) RemoveDeadTempFiles(folder);
}

TOutputFiles::TPlacement TOutputFiles::PlaceOutput(const QString& temp, const QString& outputPath,
                                                   bool mayReplace, bool suspect) {
  TPlacement placement;
  placement.Path = suspect ? SuspectPath(outputPath) : outputPath;
  placement.Result = PlaceFile(temp, placement.Path, mayReplace && !suspect, &placement.Error);
  // A suspect copy takes the next free name, never another file's place.
  for (int number = 2; suspect && placement.Result == TPlaceResult::Exists && number <= 99;
       ++number)
    placement.Result =
        PlaceFile(temp, placement.Path = SuspectPath(outputPath, number), false, &placement.Error);
  if (placement.Result == TPlaceResult::Placed) {
    FTemps.removeAll(temp);
    FWritten.insert(placement.Path);
  } else {
    RemoveTemp(temp);
  }
  return placement;
}

void TOutputFiles::KeepPartial(const QString& temp, const QString& outputPath) {
  if (temp.isEmpty() || QFileInfo(temp).size() == 0) return;
  if (PlaceFile(temp, MarkedPath(outputPath, QStringLiteral(" (partial)")), false) ==
      TPlaceResult::Placed)
    FTemps.removeAll(temp);
}

QString TOutputFiles::PlaceNewFile(const QString& path, const QByteArray& bytes, bool replace) {
  // Written whole under a name of the session's own, then placed; a file of
  // the name that appeared meanwhile (another run's) is kept.
  QString failure;
  const QString temp = NewTemp(QFileInfo(path).absolutePath(), QStringLiteral(".tmp"), &failure);
  if (temp.isEmpty()) return failure;
  QFile file(temp);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
    failure = file.errorString();
  file.close();
  if (failure.isEmpty() && PlaceFile(temp, path, replace, &failure) == TPlaceResult::Exists)
    failure.clear();
  RemoveTemp(temp);
  return failure;
}

QStringList TOutputFiles::DeleteWritten(const QStringList& paths) {
  // Only what this session wrote: an earlier file of the same name that the
  // session never reached is the user's.
  QStringList kept;
  for (const QString& path : paths)
    if (Wrote(path) && QFileInfo::exists(path) && !QFile::remove(path)) kept << path;
  return kept;
}

QString TOutputFiles::SuspectPath(const QString& outputPath, int number) {
  return MarkedPath(outputPath,
                    number > 1 ? QString(" (suspect %1)").arg(number) : QString(" (suspect)"));
}

bool TOutputFiles::CanWrite(const QString& path) {
  if (!QFileInfo::exists(path)) return true;
  QFile file(path);
  return file.open(QIODevice::ReadWrite);
}
