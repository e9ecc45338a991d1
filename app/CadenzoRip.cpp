// cadenzo-rip: the extraction of the desktop program without windows, for
// scripts and servers. It reads the same settings, loads the disc and its
// names the same way, names the files with the same rule and runs the same
// conversion session; options override settings for one run only.
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>

#include "app/BatchRun.h"
#include "app/DiscImageCheck.h"
#include "app/RipSignals.h"
#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "encode/FileFormats.h"
#include "encode/LameCoder.h"
#include "libs/cdrip/cdrip.h"
#include "platform/AppInfo.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/TextDecode.h"
#include "rip/ConvSession.h"
#include "rip/DiscLoad.h"
#include "rip/ExtractJobs.h"
#include "rip/RipPlan.h"
#include "rip/RipQuery.h"
#include "rip/RipReport.h"
#include "settings/config.h"
#include "verify/CtdbVerification.h"
#include "verify/RipLog.h"
#include "verify/SectorHealth.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// Names from the disc, its entries and the server shown with their control
// characters escaped, on a terminal and in files alike: an escape sequence in
// a title must not drive the terminal, nor a line break in one fake a line.
QString Shown(const QString& text) { return platform::EscapeControls(text); }

// "1,3-5" into track numbers from 1, in the order given; empty with an error
// text when a part is malformed or outside 1..trackCount.
std::vector<int> ParseTracks(const QString& text, int trackCount, QString& error) {
  std::vector<int> tracks;
  for (const QString& part : text.split(u',')) {
    const QStringList bounds = part.trimmed().split(u'-');
    bool okFirst = false, okLast = false;
    const int first = bounds.value(0).trimmed().toInt(&okFirst);
    const int last = bounds.size() == 2 ? bounds[1].trimmed().toInt(&okLast) : first;
    if (!okFirst || bounds.size() > 2 || (bounds.size() == 2 && !okLast) || first > last) {
      error = QString("invalid track list '%1'").arg(text);
      return {};
    }
    if (first < 1 || last > trackCount) {
      error = QString("track %1 is not on the disc (it has %2 tracks)")
                  .arg(first < 1 ? first : last)
                  .arg(trackCount);
      return {};
    }
    for (int track = first; track <= last; ++track)
      if (std::find(tracks.begin(), tracks.end(), track) == tracks.end()) tracks.push_back(track);
  }
  return tracks;
}

enum class TOverwrite { Ask, All, None };

// Progress on stderr: a bar redrawn in place on a terminal, one line per
// job and stage otherwise.
class TConsoleView : public TConvSessionView {
 public:
  TConsoleView(TOverwrite overwrite, bool terminal) : FOverwrite(overwrite), FTerminal(terminal) {}

  // Set when existing files are skipped because nobody can be asked.
  bool SkipsUnasked = false;

  void ShowStage(const QString& name) override {
    FStage = name;
    FPercent = Finished() ? 100 : 0;
    if (FTerminal)
      DrawBar();
    else if (!FCaption.isEmpty())
      Print(stderr, QString("  %1\n").arg(name));
  }

  void ShowProgress(int percent) override {
    if (percent == FPercent || Finished()) return;
    FPercent = percent;
    if (FTerminal) DrawBar();
  }

  void ShowJob(const QString& source, const QString& destination, const QString& caption) override {
    FCaption = caption;
    EndBar();
    Print(stderr, QString("%1: %2 -> %3\n").arg(Shown(caption), Shown(source), Shown(destination)));
  }

  int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) override {
    alwaysOverwrite = false;
    switch (FOverwrite) {
      case TOverwrite::All:
        return orYes;
      case TOverwrite::None:
        if (SkipsUnasked) {
          SkipsUnasked = false;
          EndBar();
          Print(stderr,
                "cadenzo-rip: existing files are skipped without a terminal to ask on; "
                "--overwrite all replaces them\n");
        }
        return orNo;
      case TOverwrite::Ask:
        break;
    }
    EndBar();
    for (;;) {
      Print(stderr, QString("%1 exists. Overwrite? [y]es, yes to [a]ll, [s]kip, sk[i]p all, "
                            "[c]ancel: ")
                        .arg(Shown(quotedPath)));
      QByteArray line;
      if (!ReadAnswerLine(STDIN_FILENO, line)) {  // end of input or Ctrl-C
        Print(stderr, "\n");
        return orCancel;
      }
      const QString answer = QString::fromLocal8Bit(line).trimmed().toLower();
      if (answer == "y" || answer == "yes") return orYes;
      if (answer == "a") return orYesToAll;
      if (answer == "s") return orNo;
      if (answer == "i") return orNoToAll;
      if (answer == "c") return orCancel;
    }
  }

  void AddMessage(const QString& line) override { Messages << line; }
  // Told at once; the run's errors stay its own.
  void AddNote(const QString& line) override {
    Note("Note: " + platform::EscapeControls(line, true));
  }

  // On a terminal the encoder line under the bar shows it.
  void ShowJobEncoded(const TFileParam& job) override {
    if (!FTerminal && (job.State == jsDone || job.State == jsError))
      Print(stderr, QString::asprintf("Track %.2d: ", job.TrackInfo.TrackIndex + 1) +
                        JobStateText(job.State) + '\n');
  }

  void ShowEncoders(const QString& line, int overallPercent) override;

  // A line of its own between the progress lines.
  void Note(const QString& text) {
    EndBar();
    Print(stderr, "  " + text + "\n");
  }

  void EndBar() {
    if (FBarShown) Print(stderr, FEncoderLineShown ? "\n\n" : "\n");
    FBarShown = false;
    FEncoderLineShown = false;
  }

  QStringList Messages;

 private:
  void DrawBar() {
    const int filled = FPercent * 30 / 100;
    QString text = QString("\r\033[K  [%1%2] %3% %4")
                       .arg(QString(filled, u'#'), QString(30 - filled, u'-'))
                       .arg(FPercent, 3)
                       .arg(FStage);
    // The encoders on the line below; the cursor stays on the bar's line.
    if (FEncoderLineShown) text += "\n\033[K  " + FEncoders + "\033[1A\r";
    Print(stderr, text);
    FBarShown = true;
  }

  // A read or finished stage keeps its full bar while the encoders catch up.
  bool Finished() const { return FStage == StageName(stDone) || FStage == StageName(stRead); }

  TOverwrite FOverwrite;
  bool FTerminal;
  QString FStage;
  QString FCaption;
  int FPercent = -1;
  bool FBarShown = false;
  QString FEncoders;  // the encoder line with the session's total
  bool FEncoderLineShown = false;
};

// On a terminal a second line under the bar; otherwise one line whenever
// another track starts or ends encoding, and at the end (percentages alone
// do not print).
void TConsoleView::ShowEncoders(const QString& line, int overallPercent) {
  const QString text = QString("Total %1%  %2").arg(overallPercent, 3).arg(Shown(line));
  if (text == FEncoders) return;
  static const QRegularExpression percentages(" *\\d+%");
  const bool otherTracks =
      QString(text).remove(percentages) != QString(FEncoders).remove(percentages);
  FEncoders = text;
  if (FTerminal) {
    FEncoderLineShown = true;
    DrawBar();
  } else if (otherTracks || overallPercent == 100) {
    Print(stderr, "  " + text + "\n");
  }
}

// A cdrip.ini that lists only the given image, so it becomes the last drive.
bool WriteImageIni(const QString& iniPath, const QString& image) {
  QFile ini(iniPath);
  if (!ini.open(QIODevice::WriteOnly)) return false;
  const QByteArray text =
      "[Images]\r\nImage0=" + QFileInfo(image).absoluteFilePath().toLocal8Bit() + "\r\n";
  return ini.write(text) == text.size();
}

// --check-log: whether a rip log is as it was written; the exit status says it too.
int CheckLog(const QString& path) {
  // A log of 99 tracks is far smaller; more is not a log to read whole.
  constexpr qint64 kMaxLogBytes = 16 << 20;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Print(stderr,
          QString("cadenzo-rip: cannot read '%1': %2\n").arg(Shown(path), file.errorString()));
    return kExitFailed;
  }
  const QByteArray bytes = file.read(kMaxLogBytes + 1);
  QString verdict;
  if (bytes.size() > kMaxLogBytes) {
    verdict = "larger than any rip log, not checked";
  } else {
    switch (CheckRipLog(bytes)) {
      case TLogCheck::Intact:
        Print(stdout, Shown(path) + ": the log is as it was written\n");
        return 0;
      case TLogCheck::Changed:
        verdict = "the log was changed after it was written";
        break;
      case TLogCheck::NoChecksum:
        verdict = "no log checksum on its last line: not a rip log, or its end was changed";
        break;
    }
  }
  Print(stdout, Shown(path) + ": " + verdict + "\n");
  return kExitFailed;
}

// "Accurately ripped" as a line goes on: "accurately ripped".
QString LowerFirst(QString text) {
  if (!text.isEmpty()) text[0] = text[0].toLower();
  return text;
}

void PrintDisc(const TCDRIP& cdrip, const QStringList& drives, const TMyCDInfo& info) {
  QString text = "Drives:\n";
  for (int i = 0; i < drives.size(); ++i)
    text +=
        QString("%1 %2: %3\n").arg(i == cdrip.CDRomNum() ? "*" : " ").arg(i).arg(Shown(drives[i]));
  text += QString("Disc ID: %1\n").arg(info.DiscID, 8, 16, QChar(u'0'));
  text += QString("Artist: %1\nAlbum: %2\n").arg(Shown(info.Artist), Shown(info.Album));
  text +=
      "  #  Start     Length    Title   (times in minutes:seconds:frames, 75 frames a second)\n";
  for (int i = 0; i < info.TrackCount; ++i)
    text += QString(" %1  %2  %3  %4\n")
                .arg(i + 1, 2, 10, QChar(u'0'))
                .arg(info.TrackStartText(i), info.TrackLengthText(i), Shown(info.GetTrackTitle(i)));
  Print(stdout, text);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("cadenzo-rip");
  QCoreApplication::setApplicationVersion(kProgramVersion);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Extracts audio CD tracks to MP3, WAV, FLAC or Opus files without windows, with the "
      "settings, disc names, naming rule and conversion of the Cadenzo desktop program. Options "
      "override the settings for this run only and are never saved; --query keeps the entry it "
      "finds in the local CDDB folder, as the desktop program does.\n\n"
      "Exit status: 0 when every track is done, 1 when a track failed, was skipped or the run "
      "was cancelled, or the rip log or CUE sheet could not be written, 2 for a usage error, 130 "
      "or 143 when stopped by SIGINT (Ctrl-C) or SIGTERM "
      "(the finished tracks are kept).");
  // Not addHelpOption(): its --help-all lists Qt's own options, none of ours.
  const QCommandLineOption helpOption({"h", "help"}, "Displays help on commandline options.");
  parser.addOption(helpOption);
  parser.addVersionOption();
  const QCommandLineOption driveOption(
      "drive", "Use drive number <n> (see --list); with --each-disc, 'all' watches every drive.",
      "n|all");
  const QCommandLineOption imageOption(
      "image",
      "Use the disc image <file> as the drive: a .cue sheet with its BINARY, WAVE or FLAC "
      "files, a .toc or a .nrg.",
      "file");
  const QCommandLineOption tracksOption("tracks",
                                        "Tracks to extract, such as 1,3-5 (default: all).", "list");
  QStringList formatNames;
  for (const TFileFormat& format : FileFormats()) formatNames << format.Name;
  const QCommandLineOption formatOption("format", "Output format: " + FileFormatNames() + ".",
                                        formatNames.join('|'));
  const QCommandLineOption noReplayGainOption(
      "no-replaygain", "Write no ReplayGain values (track and album loudness) into the tags.");
  const QCommandLineOption folderOption("output-folder", "Folder for the output files.", "dir");
  const QCommandLineOption namingOption(
      "naming",
      "Naming rule, such as \"<artist>/<album>/<number> - <title>\"; '/' or '\\' makes a folder.",
      "rule");
  const QCommandLineOption normalizeOption(
      "normalize",
      "Normalise every track to <percent> (80-100) of full scale; rips to a "
      "temporary WAV first.",
      "percent");
  const QCommandLineOption playlistOption(
      "playlist", "Write an M3U (.m3u) or PLS playlist of the tracks written.", "file");
  const QCommandLineOption overwriteOption(
      "overwrite", "Existing files: ask (only on a terminal), all, or none.", "ask|all|none");
  const QCommandLineOption listOption(
      "list", "Print the drives, the disc ID, artist, album and tracks, then exit.");
  const QCommandLineOption jobsOption(
      "jobs", "Encode <n> tracks at once while the next is read (0: one per core).", "n");
  parser.addOptions({driveOption, imageOption, tracksOption, formatOption, folderOption,
                     namingOption, normalizeOption, playlistOption, overwriteOption, listOption,
                     jobsOption, noReplayGainOption});
  const QCommandLineOption queryOption(
      "query",
      "Look the disc up first: on MusicBrainz, then on the CDDB server of the settings when "
      "MusicBrainz has no release (log on stderr). The names found are saved to the local CDDB "
      "folder unless an entry is there already.");
  const QCommandLineOption sourceOption("source", "Ask only this service for --query.",
                                        "musicbrainz|cddb");
  const QCommandLineOption saveNamesOption(
      "save-names", "With --query, replace an existing local entry with the names found.");
  const QCommandLineOption serverOption("server", "CDDB server for --query.", "host[:port]");
  const QCommandLineOption matchOption(
      "match",
      "With several releases or CDDB matches take the <n>th (default: ask on a terminal, else "
      "the first).",
      "n");
  parser.addOptions({queryOption, sourceOption, saveNamesOption, serverOption, matchOption});
  const QCommandLineOption requireAccurateOption("require-accurate",
                                                 "Count a track that neither the AccurateRip nor "
                                                 "the CTDB database confirms, or whose file was "
                                                 "normalised, as failed (exit status 1).");
  const QCommandLineOption checkLogOption(
      "check-log",
      "Say whether the rip log <file> is as it was written (exit status 0) or was changed since "
      "(1), then exit.",
      "file");
  const QCommandLineOption noVerifyOption(
      "no-verify",
      "Take no checksums, ask no AccurateRip or CTDB server, repair nothing and write no rip log.");
  const QCommandLineOption verboseOption(
      "verbose",
      "After each track, print its sector map on stderr: a mark per sixtieth of the track, "
      "'.' clean, 'c' jitter corrected, 'r' re-read, 'X' lost (silence), and the sector counts.");
  const QCommandLineOption offsetOption(
      "offset", "Read offset in samples, -3000 to 3000 (default: the ReadOffset setting).", "n");
  const QCommandLineOption testAndCopyOption(
      "test-and-copy", "Read every track twice and fail a track whose two reads differ.");
  parser.addOptions({requireAccurateOption, noVerifyOption, verboseOption, offsetOption,
                     testAndCopyOption, checkLogOption});
  const QCommandLineOption eachDiscOption(
      "each-disc",
      "Rip every disc put in: wait for a disc, look it up as --query does (the first of several "
      "releases), rip all its tracks into a folder of its own (an unknown disc's named by its "
      "disc ID), eject it, wait for the next. Ends with a summary, also written to the output "
      "folder. Ctrl-C once finishes the discs in hand, twice stops at once.");
  const QCommandLineOption discsOption("discs", "With --each-disc, stop after <n> discs.", "n");
  parser.addOptions({eachDiscOption, discsOption});
  auto usageError = [](const QString& text) {
    Print(stderr,
          QString("cadenzo-rip: %1\nTry 'cadenzo-rip --help' for more information.\n").arg(text));
    return kExitUsage;
  };
  // parse() rather than process(), which ends a usage error with status 1.
  if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
  if (parser.isSet(helpOption)) {
    // The usage line names the program, not the path it was started by.
    Print(stdout, parser.helpText().replace(QCoreApplication::arguments().constFirst(),
                                            QStringLiteral("cadenzo-rip")));
    return 0;
  }
  if (parser.isSet("version")) {
    Print(stdout, QString("cadenzo-rip %1\n%2\n").arg(kProgramVersion, LibraryVersions()));
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return usageError(
        QString("unexpected argument '%1'").arg(parser.positionalArguments().first()));
  if (parser.isSet(checkLogOption)) return CheckLog(parser.value(checkLogOption));

  TConfig settings;
  Config = &settings;
  settings.Load();
  // What this run wants goes into its plan; the settings stay as stored.
  TRipSettings rip = RipSettingsOf(settings);

  if (parser.isSet(serverOption)) settings.ServerName = parser.value(serverOption).trimmed();
  TRipQuery query;
  if (parser.isSet(matchOption)) {
    bool ok = false;
    query.Match = parser.value(matchOption).toInt(&ok);
    if (!ok || query.Match < 1) return usageError("--match takes a number from 1");
  }
  if (parser.isSet(sourceOption)) {
    const QString source = parser.value(sourceOption).toLower();
    if (source != "musicbrainz" && source != "cddb")
      return usageError("--source takes musicbrainz or cddb");
    query.Source = source == "cddb" ? TQuerySource::Cddb : TQuerySource::MusicBrainz;
  }
  query.SaveNames = parser.isSet(saveNamesOption);
  if ((parser.isSet(serverOption) || parser.isSet(matchOption) || parser.isSet(sourceOption) ||
       parser.isSet(saveNamesOption)) &&
      !parser.isSet(queryOption))
    return usageError("--server, --source, --match and --save-names go with --query");
  if (parser.isSet(requireAccurateOption) && parser.isSet(noVerifyOption))
    return usageError("--require-accurate needs the verification that --no-verify turns off");
  const bool eachDisc = parser.isSet(eachDiscOption);
  int maxDiscs = 0;
  if (parser.isSet(discsOption)) {
    bool ok = false;
    maxDiscs = parser.value(discsOption).toInt(&ok);
    if (!ok || maxDiscs < 1 || !eachDisc)
      return usageError("--discs takes a number from 1 with --each-disc");
  }
  for (const QCommandLineOption& single : {listOption, tracksOption, playlistOption, matchOption})
    if (eachDisc && parser.isSet(single))
      return usageError("--" + single.names().constFirst() + " does not go with --each-disc");
  const bool allDrives = parser.value(driveOption) == "all";
  if (allDrives && !eachDisc) return usageError("--drive all goes with --each-disc");

  if (parser.isSet(formatOption)) {
    const TFileFormat* format = FileFormatNamed(parser.value(formatOption));
    if (!format) return usageError("--format takes " + FileFormatNames());
    rip.OutputFormat = format->Index;
  }
  if (parser.isSet(noReplayGainOption)) rip.ReplayGain = false;
  if (parser.isSet(folderOption)) rip.OutputFolder = parser.value(folderOption);
  // Absolute, so the playlist's paths hold from any folder.
  if (!rip.OutputFolder.isEmpty())
    rip.OutputFolder = QFileInfo(rip.OutputFolder).absoluteFilePath();
  if (parser.isSet(namingOption)) rip.NamingString = parser.value(namingOption);
  if (parser.isSet(normalizeOption)) {
    bool ok = false;
    const int percent = parser.value(normalizeOption).toInt(&ok);
    if (!ok || percent < 80 || percent > 100) return usageError("--normalize takes 80 to 100");
    rip.NormalizeVolume = true;
    rip.NormalizeFactor = percent;
  }
  if (parser.isSet(jobsOption)) {
    bool ok = false;
    const int jobs = parser.value(jobsOption).toInt(&ok);
    if (!ok || jobs < 0 || jobs > 64) return usageError("--jobs takes 0 to 64");
    rip.EncoderThreads = jobs;
  }
  if (parser.isSet(offsetOption)) {
    bool ok = false;
    const int offset = parser.value(offsetOption).toInt(&ok);
    if (!ok || offset < -3000 || offset > 3000) return usageError("--offset takes -3000 to 3000");
    rip.ReadOffset = offset;
  }
  if (parser.isSet(testAndCopyOption)) rip.TestAndCopy = true;
  // Encoded formats are encoded while the next track is read, unless normalised.
  rip.OnTheFly = true;
  rip.Verify = !parser.isSet(noVerifyOption);
  const bool terminal = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
  TOverwrite overwrite = rip.OverwritePrompt ? TOverwrite::Ask : TOverwrite::All;
  if (parser.isSet(overwriteOption)) {
    const QString value = parser.value(overwriteOption);
    if (value == "ask")
      overwrite = TOverwrite::Ask;
    else if (value == "all")
      overwrite = TOverwrite::All;
    else if (value == "none")
      overwrite = TOverwrite::None;
    else
      return usageError("--overwrite takes ask, all or none");
  }
  const bool skipsUnasked = overwrite == TOverwrite::Ask && !terminal;
  if (skipsUnasked) overwrite = TOverwrite::None;
  rip.OverwritePrompt = overwrite != TOverwrite::All;

  QTemporaryDir imageFolder;
  QString iniPath = platform::CdripIniPath();
  // A settings folder that cannot be written keeps the installed cdrip.ini
  // from being copied into it: this run, which saves nothing, reads the
  // installed one, and says what it could not write.
  const QString installedIni = platform::ProgramFolder() + "cdrip.ini";
  if (!QFileInfo::exists(iniPath) && QFileInfo::exists(installedIni)) {
    Print(stderr, QString("cadenzo-rip: cannot write %1; the drives are read from %2\n")
                      .arg(platform::LastWriteError(), installedIni));
    iniPath = installedIni;
  }
  if (parser.isSet(imageOption)) {
    const QString image = parser.value(imageOption);
    if (!QFileInfo(image).isFile()) return usageError(QString("no disc image '%1'").arg(image));
    const QString problem = DiscImageProblem(image);
    if (!problem.isEmpty())
      return usageError(QString("the disc image '%1' can't be read: %2").arg(image, problem));
    iniPath = imageFolder.filePath("cdrip.ini");
    if (!imageFolder.isValid() || !WriteImageIni(iniPath, image))
      return usageError("cannot write a temporary cdrip.ini");
  }
  if (CR_Init(iniPath.toLocal8Bit().constData()) == CDRIP_ERROR) {
    Print(stderr,
          QString("cadenzo-rip: the CD-reading library cannot start with %1\n").arg(iniPath));
    return kExitFailed;
  }
  const int driveCount = CR_GetNumCDROM();
  if (driveCount < 1) {
    Print(stderr, "cadenzo-rip: no CD drive and no disc image found\n");
    return kExitFailed;
  }
  int drive = parser.isSet(imageOption) ? driveCount - 1 : settings.nActive;
  if (parser.isSet(driveOption) && !allDrives) {
    bool ok = false;
    drive = parser.value(driveOption).toInt(&ok);
    if (!ok || drive < 0 || drive >= driveCount)
      return usageError(QString("--drive takes 0 to %1").arg(driveCount - 1));
  }
  if (drive >= driveCount || drive < 0) drive = 0;
  if (eachDisc) {
    const QString reason =
        QFileInfo(rip.OutputFolder).isDir() ? QString() : CreateFolder(rip.OutputFolder);
    if (!reason.isEmpty()) {
      Print(stderr, QString("cadenzo-rip: The output folder '%1' can't be create! (%2)\n")
                        .arg(rip.OutputFolder, reason));
      return kExitFailed;
    }
    std::vector<int> watched{drive};
    if (allDrives) {
      watched.clear();
      for (int i = 0; i < driveCount; ++i) watched.push_back(i);
    }
    return RunEachDisc(settings, rip, watched, maxDiscs, parser.isSet(requireAccurateOption));
  }

  TLameCoder coder;
  TCDRIP cdrip;
  cdrip.SetCoder(&coder);
  const QStringList drives = cdrip.DriveNames();
  TMyCDInfo info;
  info.LocalFolder = settings.LocalCDDBFolder;
  try {
    cdrip.SetCDRomNum(drive);
  } catch (const std::exception& e) {
    Print(stderr, QString("cadenzo-rip: %1\n").arg(QString::fromStdString(e.what()).trimmed()));
    return kExitFailed;
  }
  if (!cdrip.IsUnitReady()) {
    if (parser.isSet(listOption)) PrintDisc(cdrip, drives, info);
    Print(stderr, "cadenzo-rip: No disc, please insert one.\n");
    return kExitFailed;
  }
  LoadDisc(cdrip, info, settings.AutoLoadCDPlayerINI);
  if (parser.isSet(queryOption)) {
    query.Terminal = terminal;
    if (!RunRipQuery(info, settings, query) && parser.isSet(listOption)) {
      PrintDisc(cdrip, drives, info);
      return kExitFailed;
    }
  }
  if (parser.isSet(listOption)) {
    PrintDisc(cdrip, drives, info);
    return 0;
  }
  if (info.TrackCount == 0) {
    Print(stderr, "cadenzo-rip: the disc has no tracks\n");
    return kExitFailed;
  }

  QString error;
  std::vector<int> tracks;
  if (parser.isSet(tracksOption)) {
    tracks = ParseTracks(parser.value(tracksOption), info.TrackCount, error);
    if (tracks.empty()) return usageError(error);
  } else {
    // A data track holds no audio to extract.
    for (int track = 1; track <= info.TrackCount; ++track)
      if (info.IsAudioTrack(track - 1)) tracks.push_back(track);
  }

  const QString folder = rip.OutputFolder;
  if (!QFileInfo(folder).isDir()) {
    const QString reason = CreateFolder(folder);
    if (!reason.isEmpty()) {
      Print(stderr, QString("cadenzo-rip: The output folder '%1' can't be create! (%2)\n")
                        .arg(folder, reason));
      return kExitFailed;
    }
  }
  TRipPlan plan{NamedDisc(info), {}, rip};
  for (int track : tracks) {
    TFileParam job;
    job.RowIndex = int32_t(plan.Jobs.size());
    job.TrackInfo = MakeTrackInfo(info, track - 1, Id3CommentText(*Config));
    plan.Jobs.push_back(job);
  }
  AssignOutputPaths(plan);
  TJobList& jobs = plan.Jobs;

  TConsoleView view(overwrite, terminal);
  view.SkipsUnasked = skipsUnasked;
  TConvSession session(cdrip, coder, view);
  session.CreateOutputFolder = CreateOutputFolder;
  cdrip.OnProgress = [&session](TCDRIP*, uint16_t percent) { session.SetProgress(percent); };
  coder.OnProgress = [&session](TLameCoder*, uint16_t percent) { session.SetProgress(percent); };
  if (parser.isSet(verboseOption))
    session.OnSectorHealth = [&view](const TTrackHealth& health) {
      if (health.Finished)
        view.Note(QString::asprintf("Track %02d sectors [", health.TrackNum) +
                  HealthLine(health.Status) + "] " + CountSectors(health.Status).Text());
    };
  const TStopSignals stopSignals([&session] { session.Abort(); });
  session.StartSession(plan);
  if (stopSignals.Received())
    return FinishStoppedSession(session, jobs, stopSignals.Received(), view.Messages);
  session.CloseQuery(!session.Aborted);
  session.CloseSession();
  view.EndBar();

  int exitCode = session.ReportFailed ? kExitFailed : 0;
  QString report;
  const TRipResults& results = session.Results();
  const TCtdbVerification* ctdb = session.Ctdb();
  // Only a found disc has something to say per track; any other answer is
  // the disc's and said once, in the count.
  const bool perTrack = !results.ArBlocks.empty();
  for (const TFileParam& job : jobs) {
    if (job.State != jsDone) exitCode = kExitFailed;
    const QString state = JobStateText(job.State);
    report +=
        QString("%1  %2\n")
            .arg((state.isEmpty() ? "Skipped" : state).leftJustified(10), Shown(job.OutputPath));
    const int track = job.TrackInfo.TrackIndex + 1;
    const auto result =
        std::find_if(results.Tracks.begin(), results.Tracks.end(),
                     [track](const TReportTrack& read) { return read.TrackNum == track; });
    // The database has nothing of the audio before track 1.
    if (track == 0) continue;
    const bool reported = result != results.Tracks.end();
    // Either database confirming the audio read will do, when the file holds it as read.
    const bool ctdbAccurate = ctdb && ctdb->TrackVerdict(track).Kind == TCtdbVerdict::Accurate &&
                              !(reported && FileDiffers(*result));
    if (parser.isSet(requireAccurateOption) && !(reported && ProvenAccurate(*result)) &&
        !ctdbAccurate)
      exitCode = kExitFailed;
    if (perTrack && reported)
      report += QString::asprintf("Track %02d: ", track) + LowerFirst(VerdictText(*result)) + "\n";
  }
  if (!results.Tracks.empty())
    report += "AccurateRip: " + LowerFirst(TallyOf(results).Text()) + "\n";
  // The CTDB's verdict on the disc, and its repair, apart from AccurateRip's.
  for (QString line :
       {ctdb ? ctdb->DiscVerdict().Text() : QString(), ctdb ? ctdb->RepairText() : QString()}) {
    if (line.isEmpty() || !session.Completed) continue;
    report += "CTDB: " + LowerFirst(line) + "\n";
  }
  Print(stdout, report);
  const QString playlist = parser.value(playlistOption);
  if (!playlist.isEmpty() && !session.Aborted && session.Completed > 0) {
    // Only files this run wrote; an existing playlist is the user's as a track is.
    TJobList written;
    std::copy_if(jobs.begin(), jobs.end(), std::back_inserter(written),
                 [](const TFileParam& job) { return job.State == jsDone; });
    switch (WritePlaylist(playlist, written, overwrite != TOverwrite::None)) {
      case TPlaceResult::Placed:
        Print(stdout, QString("Playlist  %1\n").arg(QFileInfo(playlist).absoluteFilePath()));
        break;
      case TPlaceResult::Exists:
        Print(stderr, QString("cadenzo-rip: the playlist '%1' exists and is kept; --overwrite all "
                              "replaces it\n")
                          .arg(playlist));
        break;
      case TPlaceResult::Failed:
        Print(stderr, QString("cadenzo-rip: the playlist '%1' can't be written\n").arg(playlist));
        exitCode = kExitFailed;
        break;
    }
  }
  if (!view.Messages.isEmpty()) {
    Print(stderr,
          QString("%1 Error(s) occured during conversion session.\n").arg(view.Messages.size()));
    for (const QString& line : view.Messages)
      Print(stderr, platform::EscapeControls(line, true) + "\n");
  }
  return exitCode;
}
