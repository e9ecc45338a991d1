#include <gtest/gtest.h>

#include <QDir>

#include "common/TestUtil.h"
#include "settings/ConfigRules.h"
#include "settings/Naming.h"

namespace {

const QString kDefaults = "--------- ";

QString Name(const QString& rule, const QString& artist = "AC/DC",
             const QString& album = "Live: 1992", const QString& title = "What?", int number = 1,
             const QString& chars = kDefaults) {
  return MakeOutputName(rule, chars, artist, album, title, number);
}

}  // namespace

TEST(Naming, RulesWithTheDefaultReplacements) {
  struct TCase {
    QString Rule;
    QString Expected;
  };
  const TCase cases[] = {
      {"<artist> - <title>", "AC-DC - What-"},
      {"<artist>\\<album>\\<number> - <title>", "AC-DC\\Live- 1992\\01 - What-"},
      {"<ARTIST> - <Title>", "AC-DC - What-"},
      {"   ", "1, What?"},
      {" \t\r\n", "1, What?"},
      {"<artist>-<song>", "AC-DC--song-"},
      {"<title>", "What-"},
      {"  <number>  ", "  01  "},  // the rule's own blanks stay blanks
      {"a*b:c?d=e|f", "a-b-c-d-e-f"},
      // A typed '/' makes folders as a backslash does.
      {"<artist>/<album>/<number> - <title>", "AC-DC\\Live- 1992\\01 - What-"},
      {"<artist>/<album>\\<title>", "AC-DC\\Live- 1992\\What-"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Name(c.Rule), c.Expected) << c.Rule.toStdString();
}

TEST(Naming, ValuesNeverAddFoldersOrPlaceholders) {
  EXPECT_EQ(Name("<artist> - <album>", "", ""), "Artist - Album");
  EXPECT_EQ(Name("<artist>\\<title>", "A\\B", "x", "<album>"), "A-B\\-album-");
  // Only the rule's own '/' separates folders; one from a name never does.
  EXPECT_EQ(Name("<artist>/<title>", "A/B", "x", "1/2"), "A-B\\1-2");
  EXPECT_EQ(Name("<number>", "", "", "", 10), "10");
  EXPECT_EQ(Name("<number>", "", "", "", 100), "100");
  EXPECT_EQ(Name("  ", "", "", "A/B: C", 7), "7, A/B: C");
}

TEST(Naming, ReplacementsRunInOrderAndAreReplacedAgain) {
  // The blank put in for ':' is then replaced by the blank's own replacement.
  EXPECT_EQ(Name("<title>", "", "", "A:B", 1, "- -------_"), "A_B");
  EXPECT_EQ(PadReplaceChars(""), kDefaults);
  EXPECT_EQ(PadReplaceChars("_"), "_---------");
  EXPECT_EQ(PadReplaceChars("0123456789AB"), "0123456789AB");
  EXPECT_EQ(Name("<title>", "", "", "Two Words", 1, PadReplaceChars("_")), "Two-Words");
}

TEST(Naming, OutputPaths) {
  EXPECT_EQ(AddTrailingBackslash("/music"), "/music/");
  EXPECT_EQ(AddTrailingBackslash("/music/"), "/music/");
  EXPECT_EQ(AddTrailingBackslash(""), "");
  EXPECT_EQ(BuildOutputPath("/music", "AC-DC\\Live- 1992\\01 - What-", ".mp3"),
            "/music/AC-DC/Live- 1992/01 - What-.mp3");
  EXPECT_EQ(BuildOutputPath("/music/", "x", ".wav"), "/music/x.wav");
  EXPECT_EQ(BuildOutputPath("/music/", "x", ".flac"), "/music/x.flac");
  EXPECT_EQ(BuildOutputPath("/music/", "x", ".opus"), "/music/x.opus");
  EXPECT_EQ(BuildOutputPath("/", "a\\b", ".mp3"), "/a/b.mp3");
  // The text after a dot in a title is part of the name, not an extension.
  const QString name = MakeOutputName("<number> - <title>", kDefaults, "", "", "Vol. 2", 3);
  EXPECT_EQ(BuildOutputPath("/m", name, ".mp3"), "/m/03 - Vol. 2.mp3");
  // Folder levels made of dots cannot climb out of the output folder.
  EXPECT_EQ(BuildOutputPath("/m", "..\\.\\x", ".mp3"), "/m/--/-/x.mp3");
}

TEST(Naming, HostileLevelsAreNamedSafelyNeverRefused) {
  // A blank rule keeps the title as given: its '/' must not make folders.
  EXPECT_EQ(BuildOutputPath("/m", Name("", "", "", "x/../../up", 7), ".wav"),
            "/m/7, x-..-..-up.wav");
  EXPECT_EQ(BuildOutputPath("/m", Name(" ", "", "", "..", 7), ".wav"), "/m/7, ...wav");
  // A stored replacement of '/' by '/' lets the value through to the builder.
  EXPECT_EQ(
      BuildOutputPath("/m", Name("<artist>\\<title>", "../..", "", "t", 1, "-----/----"), ".mp3"),
      "/m/-.-../t.mp3");
  EXPECT_EQ(BuildOutputPath("/m", Name("<artist>\\<title>", "..", "", "t"), ".mp3"), "/m/--/t.mp3");
  // Empty levels and an empty name: no merged level, no hidden ".mp3".
  EXPECT_EQ(BuildOutputPath("/m", "a\\\\b", ".mp3"), "/m/a/-/b.mp3");
  EXPECT_EQ(BuildOutputPath("/m", Name("<artist>\\<title>", "A", "", ""), ".mp3"), "/m/A/-.mp3");
  EXPECT_EQ(BuildOutputPath("/m", "", ".mp3"), "/m/-.mp3");
  EXPECT_EQ(BuildOutputPath("/m", "a\nb\tc", ".mp3"), "/m/a-b-c.mp3");
}

TEST(Naming, LongLevelsAreCutBetweenCharactersAndNoLevelIsHidden) {
  const auto bytes = [](const QString& text) { return text.toUtf8().size(); };
  // 300 bytes of two-byte letters, and of letters with a combining accent (3 bytes each).
  const QString accented = QString(150, QChar(0xE9));
  const QString combined = QString("e\u0301").repeated(100);
  const QStringList levels =
      BuildOutputPath("/m", accented + "\\" + combined, ".mp3", " (12)").mid(3).split('/');
  ASSERT_EQ(levels.size(), 2);
  EXPECT_EQ(levels[0], QString(127, QChar(0xE9)));
  EXPECT_EQ(levels[1], QString("e\u0301").repeated(82) + " (12).mp3");
  EXPECT_LE(bytes(levels[1]), 255);
  EXPECT_EQ(BuildOutputPath("/m", "...And Justice for All\\.hidden", ".mp3"),
            "/m/-..And Justice for All/-hidden.mp3");
}

// Every rule the options dialog offers, a blank rule and typed ones, with
// names from a hostile server and hostile stored replacement characters: the
// path stays inside the output folder, level by level.
TEST(Naming, NoNameLeavesTheOutputFolder) {
  QStringList rules;
  for (const char* rule : kNamingRules) rules << rule;
  rules += {"", " \t ", "..\\<title>", "\\<artist>\\\\<title>\\"};
  const QStringList names = {"..",         ".",           "",          "../..",
                             "x/../../up", "/etc/passwd", "..\\..\\x", "a\nb",
                             "\\",         "...",         " .. ",      QString(QChar(0)) + ".."};
  const QStringList replacements = {"",
                                    "//////////",
                                    "..........",
                                    "\\\\\\\\\\\\\\\\\\\\",
                                    "-----/\\---",
                                    "./\\./\\./\\.",
                                    "\n\r\t\x01\n\r\t\x01\n\r"};
  const QString folder = "/music/out";
  for (const QString& rule : rules)
    for (const QString& chars : replacements)
      for (const QString& value : names) {
        const QString path =
            BuildOutputPath(folder, MakeOutputName(rule, chars, value, value, value, 3), ".mp3");
        const std::string context = (rule + " | " + chars + " | " + value).toStdString();
        ASSERT_TRUE(path.startsWith(folder + "/")) << context;
        const QStringList levels = path.mid(folder.size() + 1).split('/');
        for (const QString& level : levels) {
          EXPECT_FALSE(level.isEmpty()) << context << " -> " << path.toStdString();
          EXPECT_NE(level.count('.'), level.size()) << context << " -> " << path.toStdString();
          EXPECT_FALSE(level.startsWith('.')) << context << " -> " << path.toStdString();
          for (QChar c : level) EXPECT_NE(c.category(), QChar::Other_Control) << context;
        }
        EXPECT_EQ(QDir::cleanPath(path), path) << context;
        EXPECT_TRUE(path.endsWith(".mp3")) << context;
      }
}
