// The names the session keeps a suspect or partial output under.
#include <QDir>
#include <QFileInfo>

#include "common/TestUtil.h"
#include "rip/OutputFiles.h"

using namespace testutil;

namespace {

// An output name of 249 bytes: the marks pass 255 unless the name is cut,
// and a cut in the wrong place would split the four-byte character.
TEST(OutputFiles, ALongNameIsCutBetweenCharactersSoItsSuspectAndPartialCopiesAreKept) {
  TTempFolder folder;
  const QString name = QString(120, QChar(0xE9)) + QString::fromUtf8("\xF0\x9F\x8E\xB5");
  const QString output = folder.File(name + ".flac");
  TOutputFiles files;
  for (const QString mark : {" (suspect)", " (suspect 2)", " (suspect 3)", " (partial)"}) {
    const QString temp = files.NewTemp(folder.Path(), ".flac");
    WriteFile(temp, mark.toUtf8());
    QString placed;
    if (mark == " (partial)") {
      files.KeepPartial(temp, output);
      placed = QDir(folder.Path()).entryList({"*partial*"}).value(0);
    } else {
      const TOutputFiles::TPlacement placement = files.PlaceOutput(temp, output, false, true);
      EXPECT_EQ(placement.Result, TPlaceResult::Placed) << placement.Error.toStdString();
      placed = QFileInfo(placement.Path).fileName();
    }
    const QString ending = mark + ".flac";
    ASSERT_TRUE(placed.endsWith(ending)) << placed.toStdString();
    const QString kept = placed.chopped(ending.size());
    EXPECT_TRUE(name.startsWith(kept) && !kept.back().isHighSurrogate()) << placed.toStdString();
    EXPECT_LE(placed.toUtf8().size(), 255);
    EXPECT_GE(placed.toUtf8().size(), 254);  // cut no more than the marks need
    EXPECT_EQ(ReadFile(folder.File(placed)), mark.toUtf8());
  }
}

}  // namespace
