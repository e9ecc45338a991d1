// Desktop entry Exec lines turned into commands: string escapes, quoting and
// field codes, and reading the value from an entry file.
#include "platform/DesktopExec.h"
#include "common/TestUtil.h"

using namespace testutil;

namespace {

TEST(DesktopExec, SplitsQuotesAndDropsFieldCodes) {
  const struct {
    const char* Raw;  // as it stands after "Exec=" in the file
    QStringList Expected;
  } cases[] = {
      {"vlc --started-from-file %U", {"vlc", "--started-from-file"}},
      {"env VAR=x player %U", {"env", "VAR=x", "player"}},
      {"flatpak run org.x.Y %U", {"flatpak", "run", "org.x.Y"}},
      {"\"/opt/My Player/play\" --enqueue %F", {"/opt/My Player/play", "--enqueue"}},
      {"  player   --a    --b  ", {"player", "--a", "--b"}},
      {"player --volume=50%% %u", {"player", "--volume=50%"}},
      {"player %i %c %k --x %f%u", {"player", "--x"}},
      {"player --file=%f", {"player", "--file="}},
      {"player \"\" end", {"player", "", "end"}},
      // Inside quotes: \" \` \$ \\ are escapes and field codes stay text.
      {R"(sh -c "echo \"hi\" \$HOME \`x\` 100%")", {"sh", "-c", "echo \"hi\" $HOME `x` 100%"}},
      // The string escapes come first: \\\\ in the file is one escaped
      // backslash for the quoting rules, \s a plain blank that separates.
      {R"("a\\\\b" c\sd)", {"a\\b", "c", "d"}},
      {R"(say "\\"quoted\\"")", {"say", "\"quoted\""}},
      {"pre\"fix one\"post", {"prefix onepost"}},
      {"\"unclosed %U", {}},
      {"%U", {}},
      {"\"\" --arg", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitDesktopExec(c.Raw), c.Expected) << c.Raw;
}

TEST(DesktopExec, ValueComesFromTheDesktopEntryGroupOnly) {
  TTempFolder temp;
  const QString file = temp.File("x.desktop");
  WriteFile(file,
            "# comment\r\n[Desktop Action New]\r\nExec=other --new\r\n[Desktop Entry]\r\n"
            "Name=X\r\nExecutable=no\r\nExec = player  %U \r\n[Another]\r\nExec=late\r\n");
  EXPECT_EQ(DesktopEntryValue(file, "Exec"), "player  %U");
  EXPECT_EQ(DesktopEntryValue(file, "Name"), "X");
  EXPECT_EQ(DesktopEntryValue(file, "Icon"), "");
  EXPECT_EQ(DesktopEntryValue(temp.File("missing.desktop"), "Exec"), "");
}

}  // namespace
