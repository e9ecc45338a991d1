#include "settings/ConfigRules.h"

#include <QFile>
#include <QUrl>
#include <algorithm>
#include <iterator>

#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/TextDecode.h"
#include "settings/config.h"

namespace {
constexpr int32_t kSpeedFactors[kSpeedCount] = {32, 32, 32, 24, 16, 12, 8, 4, 2, 1};
}  // namespace

const char* const kSpeedNames[kSpeedCount] = {"Default", "Maximum", "32x", "24x", "16x",
                                              "12x",     "8x",      "4x",  "2x",  "1x"};

const char* const kDriveTypes[20] = {
    "Generic", "Toshiba", "Toshiba(new)", "IBM",     "NEC",       "DEC",         "IMS",
    "Kodak",   "Ricoh",   "HP",           "Philips", "Plasmon",   "Grundig CDR", "Mitsumi CDR",
    "Plextor", "Sony",    "Yamaha",       "NRC",     "IMS CDD-5", "Custom Drive"};

const char* const kNamingRules[10] = {"<title>",
                                      "<artist> - <title>",
                                      "<number> - <title>",
                                      "<artist> - <album> - <title>",
                                      "<artist> - <album>- <number> - <title>",
                                      "<artist>\\<title>",
                                      "<artist>\\<number> - <title>",
                                      "<artist>\\<album> - <number> - <title>",
                                      "<artist>\\<album>\\<title>",
                                      "<artist>\\<album>\\<number> - <title>"};

const char* const kBuiltInServers[11] = {
    "gnudb.gnudb.org",   "gnudb.org",     "www.gnudb.org", "freedb.dbpoweramp.com",
    "freedb.freedb.org", "us.freedb.org", "ca.freedb.org", "de.freedb.org",
    "uk.freedb.org",     "at.freedb.org", "jp.freedb.org"};

const TLamePreset kLamePresets[4] = {
    {"pm1NearCDQuality", "Near CD-Quality (44100Hz, 128Kbps, Stereo)", 1, 8, 0, false, -1, -1, -1},
    {"CDQuality44100Hz128KbpsStereo1", "CD-Quality (44100Hz, 192Kbps, Stereo)", 1, 10, 0, false, -1,
     -1, -1},
    {"NearCDQualityVBR44100Hz128KbpsStereo1", "Near CD-Quality - VBR (44100Hz, 128Kbps, Stereo)", 1,
     8, 0, true, 13, 0, 4},
    {"CDQualityVBR44100Hz192KbpsStereo1", "CD-Quality - VBR (44100Hz, 192Kbps, Stereo)", 1, 10, 0,
     true, 13, 2, 8},
};

int SpeedIndexOf(int32_t speed) {
  for (int i = 0; i < kSpeedCount; ++i)
    if (kSpeedFactors[i] == speed) return i;
  return 0;
}

int32_t SpeedOfIndex(int index) {
  return kSpeedFactors[index >= 0 && index < kSpeedCount ? index : 0];
}

QStringList ServerListFromFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = platform::SplitLines(platform::DecodeLines(file.readAll()));
  // A final line end does not start another line.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  if (lines.size() <= 5) return {};
  QStringList servers;
  for (const QString& line : lines) {
    const qsizetype at = line.indexOf(QLatin1String("http 80"));
    if (at < 0) continue;
    const QString host = line.left(at).trimmed();
    if (!host.isEmpty()) servers << host;
  }
  return servers;
}

int32_t IntegerOr(const QString& text, int32_t fallback) {
  bool ok = false;
  const int32_t value = text.trimmed().toInt(&ok);
  return ok ? value : fallback;
}

bool DigitEditAccepts(QChar c) {
  return c.category() == QChar::Other_Control || (c >= u'0' && c <= u'9');
}

bool ReplaceEditAccepts(QChar c) {
  return !QStringLiteral("*/:<=>?\\|").contains(c) && c.category() != QChar::Other_Control &&
         !c.isSurrogate();
}

bool NamingRuleVariesPerTrack(const QString& rule) {
  return rule.contains(QLatin1String("<number>"), Qt::CaseInsensitive) ||
         rule.contains(QLatin1String("<title>"), Qt::CaseInsensitive);
}

int MaxBitRateIndex(int sampleRateIndex) {
  const int rate = sampleRateIndex >= 0 && sampleRateIndex < int(std::size(kSampleRates))
                       ? kSampleRates[sampleRateIndex]
                       : 44100;
  if (rate >= 32000) return int(std::size(kBitRates)) - 1;
  const auto* end = std::find(std::begin(kBitRates), std::end(kBitRates), 160);
  return int(end - std::begin(kBitRates));
}

QString HelpTopicUrl(const QString& helpFile, int tabIndex) {
  static const char* const kAnchors[6] = {"options-output", "options-encoder", "options-cdrom",
                                          "options-cddb",   "options-misc",    "options-player"};
  QUrl url = QUrl::fromLocalFile(helpFile);
  if (tabIndex >= 0 && tabIndex < 6) url.setFragment(QString::fromLatin1(kAnchors[tabIndex]));
  return url.toString();
}

bool WriteTransportLayer(const QString& iniPath, int32_t value) {
  if (platform::GetProfileString(iniPath, "CD-ROM", "nTransportLayer", QString()) ==
      QString::number(value))
    return true;
  return platform::WriteProfileString(iniPath, "CD-ROM", "nTransportLayer", QString::number(value));
}
