// The installed program: `cmake --install` into a temporary prefix gives the
// programs, the program folder with the stand-in libraries and data, a valid
// desktop entry and the icon; cadenzo-rip run from there lists and extracts
// the demo disc and leaves every file under the prefix as it was.
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <map>

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Profile.h"
#include "platform/TextDecode.h"
#include "settings/config.h"

using namespace testutil;

namespace {

// Every file under the folder with a hash of its content and its time stamp.
std::map<QString, QByteArray> Snapshot(const QString& folder) {
  std::map<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    files[path] = hash.result().toHex() + ' ' +
                  QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
  }
  return files;
}

// The value of a key of the desktop entry's main group.
QString EntryValue(const QString& entry, const QString& key) {
  for (const QString& line : platform::SplitLines(entry))
    if (line.startsWith(key + "=")) return line.mid(key.size() + 1);
  return QString();
}

}  // namespace

TEST(Install, APrefixHoldsAWorkingProgramThatWritesOnlyUnderTheUsersFolders) {
  TTempFolder temp;
  // A blank in the prefix: the entry's Exec must quote the path.
  const QString prefix = temp.File("pre fix");
  QByteArray out, err;
  ASSERT_EQ(RunProgram(CADENZO_CMAKE_COMMAND, {"--install", CADENZO_BINARY_DIR, "--prefix", prefix},
                       &out, &err),
            0)
      << out.toStdString() << err.toStdString();

  const QString program = prefix + "/lib/cadenzo/";
  for (const QString& file :
       {prefix + "/bin/cadenzo", prefix + "/bin/cadenzo-rip", program + "libcdrip.so",
        program + "liblame_enc.so", program + "cdrip.ini", program + "Genre.txt",
        program + "server.txt", program + "cadenzo.html", program + "metal.mp3",
        program + "demo.cue", program + "demo.bin",
        prefix + "/share/icons/hicolor/scalable/apps/cadenzo.svg"})
    EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
  EXPECT_TRUE(QFileInfo(prefix + "/bin/cadenzo-rip").isExecutable());
  // Only what runs: no static library is installed.
  QDirIterator files(prefix, {"*.a"}, QDir::Files, QDirIterator::Subdirectories);
  EXPECT_FALSE(files.hasNext()) << files.next().toStdString();

  const QString desktop = prefix + "/share/applications/cadenzo.desktop";
  ASSERT_EQ(RunProgram("desktop-file-validate", {desktop}, &out, &err), 0)
      << out.toStdString() << err.toStdString();
  const QString entry = platform::DecodeLines(ReadFile(desktop));
  EXPECT_EQ(EntryValue(entry, "Exec"), "\"" + prefix + "/bin/cadenzo\"");
  EXPECT_EQ(EntryValue(entry, "Icon"), "cadenzo");
  EXPECT_EQ(EntryValue(entry, "MimeType"), "x-content/audio-cdda;");
  EXPECT_EQ(EntryValue(entry, "Categories"), "AudioVideo;Audio;");

  const auto before = Snapshot(prefix);
  // The run path alone must find the stand-in libraries.
  qunsetenv("LD_LIBRARY_PATH");
  const QString rip = prefix + "/bin/cadenzo-rip";
  ASSERT_EQ(RunProgram(rip, {"--list"}, &out, &err), 0) << err.toStdString();
  EXPECT_TRUE(out.contains("* 0: demo.cue (image)\n")) << out.toStdString();
  EXPECT_TRUE(out.contains(" 04  ")) << out.toStdString();

  // The user's cdrip.ini was made from the installed one and records no
  // path of the program: the demo disc is found beside the library.
  const QString userIni = platform::ConfigFolder() + "cdrip.ini";
  EXPECT_EQ(platform::GetProfileString(userIni, "Images", "Image0", ""), "demo.cue");

  const QString music = temp.File("music");
  {
    // No test reaches the public AccurateRip server.
    TConfig settings;
    settings.Load();
    settings.AccurateRipServer.clear();
    ASSERT_TRUE(settings.Save());
  }
  ASSERT_EQ(RunProgram(rip,
                       {"--tracks", "2", "--format", "mp3", "--output-folder", music, "--naming",
                        "<number> - <title>"},
                       &out, &err),
            0)
      << out.toStdString() << err.toStdString();
  EXPECT_TRUE(out.contains("Done")) << out.toStdString();
  EXPECT_GT(QFileInfo(music + "/02 - Track02.mp3").size(), 10000);

  EXPECT_EQ(Snapshot(prefix), before);
}
