#include "settings/config.h"

#include <algorithm>
#include <variant>

#include "encode/FileFormats.h"
#include "platform/Folders.h"
#include "platform/Profile.h"

TConfig* Config = nullptr;

namespace {

using TField = std::variant<int32_t TConfig::*, bool TConfig::*, QString TConfig::*>;

struct TStoredValue {
  const char* Name;
  TField Field;
};

// Every registry value, in the order it is loaded and saved.
const TStoredValue kStoredValues[] = {
    {"ConvertType", &TConfig::ConvertType},
    {"EnableId3Tag", &TConfig::EnableID3Tag},
    {"OnTheFly", &TConfig::OnTheFly},
    {"OutputFormat", &TConfig::OutputFormat},
    {"CreatePlayList", &TConfig::CreatePlayList},
    {"PlayListType", &TConfig::PlayListType},
    {"AutoLoadCDPlayerINI", &TConfig::AutoLoadCDPlayerINI},
    {"SpecifyOutputFolder", &TConfig::SpecifyOutputFolder},
    {"OpenOutputFolder", &TConfig::OpenOutputFolder},
    {"OutputFolder", &TConfig::OutputFolder},
    {"TempFolder", &TConfig::TempFolder},
    {"FavoriteBrowsFolder", &TConfig::FavoriteBrowsFolder},
    {"NormalizeVolume", &TConfig::NormalizeVolume},
    {"NormalizeFactor", &TConfig::NormalizeFactor},
    {"OverwritePrompt", &TConfig::OverwritePrompt},
    {"ShowErrorMessage", &TConfig::ShowErrorMessage},
    {"DeleteOriginalFile", &TConfig::DeleteOriginalFile},
    {"PlaySound", &TConfig::PlaySound},
    {"SoundFile", &TConfig::SoundFile},
    {"PromptCheckOption", &TConfig::PromptCheckOption},
    {"LastOpenFolder", &TConfig::LastOpenFolder},
    {"Id3Comment", &TConfig::Id3Comment},
    {"WindowLeft", &TConfig::WindowLeft},
    {"WindowTop", &TConfig::WindowTop},
    {"WindowHeight", &TConfig::WindowHeight},
    {"WindowWidth", &TConfig::WindowWidth},
    {"NamingRuleIdx", &TConfig::NamingRuleIdx},
    {"NamingString", &TConfig::NamingString},
    {"ReplaceStr", &TConfig::ReplaceStr},
    {"SampleRate", &TConfig::SampleRate},
    {"BitRate", &TConfig::BitRate},
    {"MaxBitRate", &TConfig::MaxBitRate},
    {"Mode", &TConfig::Mode},
    {"Quality", &TConfig::Quality},
    {"VBRQuality", &TConfig::VBRQuality},
    {"VBR", &TConfig::VBR},
    {"WriteVBRHeader", &TConfig::WriteVBRHeader},
    {"Copyright", &TConfig::Copyright},
    {"CRC", &TConfig::CRC},
    {"Original", &TConfig::Original},
    {"_Private", &TConfig::_Private},
    {"DeleteSilence", &TConfig::DeleteSilence},
    {"EjectCD", &TConfig::EjectCD},
    {"SelectAllTrack", &TConfig::SelectAllTrack},
    {"ServerName", &TConfig::ServerName},
    {"QueryScript", &TConfig::QueryScript},
    {"SubmitScript", &TConfig::SubmitScript},
    {"EmailAddress", &TConfig::EmailAddress},
    {"LocalCDDBFolder", &TConfig::LocalCDDBFolder},
    {"EnableProxy", &TConfig::EnableProxy},
    {"ProxyPort", &TConfig::ProxyPort},
    {"ProxyServer", &TConfig::ProxyServer},
    {"AutoPlayOutputFile", &TConfig::AutoPlayOutputFile},
    {"PlayerExecute", &TConfig::PlayerExecute},
    {"PlayerParameter", &TConfig::PlayerParameter},
    {"WaveOutputOption", &TConfig::WaveOutputOption},
    {"EncoderThreads", &TConfig::EncoderThreads},
    {"FlacLevel", &TConfig::FlacLevel},
    {"OpusBitRate", &TConfig::OpusBitRate},
    {"WriteID3v2", &TConfig::WriteID3v2},
    {"ReplayGain", &TConfig::ReplayGain},
    {"EmbedCover", &TConfig::EmbedCover},
    {"AccurateRipServer", &TConfig::AccurateRipServer},
    {"WriteLog", &TConfig::WriteLog},
    {"WriteCueSheet", &TConfig::WriteCueSheet},
    {"RipHiddenTrack", &TConfig::RipHiddenTrack},
    {"CDDBTimeOut", &TConfig::CDDBTimeOut},
    {"MusicBrainzServer", &TConfig::MusicBrainzServer},
    {"CoverArtServer", &TConfig::CoverArtServer},
    {"AutoLookup", &TConfig::AutoLookup},
    {"ReadOffset", &TConfig::ReadOffset},
    {"TestAndCopy", &TConfig::TestAndCopy},
    {"CtdbServer", &TConfig::CtdbServer},
    {"AutoRip", &TConfig::AutoRip},
    {"AutoRipEveryDrive", &TConfig::AutoRipEveryDrive},
};

template <class... F>
struct TVisitor : F... {
  using F::operator()...;
};
template <class... F>
TVisitor(F...) -> TVisitor<F...>;

QString WithoutTrailingSlash(QString folder) {
  while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  return folder;
}

}  // namespace

TConfig::TConfig(platform::TRegistryStore* store) {
  if (!store) {
    FOwnedStore = std::make_unique<platform::TRegistryStore>();
    store = FOwnedStore.get();
  }
  FReg = std::make_unique<TRegSetEx>(store);
  FReg->SetRootKind(1);
  FReg->SetCompany(QStringLiteral("Velmora Computing"));
  FReg->SetProduct(QStringLiteral("Cadenzo"));
  FReg->SetUseCompany(true);
  FReg->CreateOnWrite = true;

  OutputFolder = WithoutTrailingSlash(platform::MusicFolder());
  FavoriteBrowsFolder = OutputFolder;
  TempFolder = platform::TempFolder();
  // The program folder may be an installed prefix the program never writes.
  LocalCDDBFolder = platform::DataFolder() + QStringLiteral("localCDDB");
}

TConfig::~TConfig() = default;

bool TConfig::Load() {
  const QString section = QString::fromLatin1(kConfigSection);
  for (const TStoredValue& value : kStoredValues) {
    const QString name = QString::fromLatin1(value.Name);
    std::visit(
        TVisitor{
            [&](int32_t TConfig::*f) {
              this->*f = FReg->ReadIntegerValue(section, name, this->*f);
            },
            [&](bool TConfig::*f) { this->*f = FReg->ReadBoolValue(section, name, this->*f); },
            [&](QString TConfig::*f) { this->*f = FReg->ReadStringValue(section, name, this->*f); },
        },
        value.Field);
  }

  // Indexes into fixed tables must stay inside them whatever the file holds.
  // WAV, MP3, FLAC or Opus; an unknown format falls back to the default
  // rather than naming data of another format.
  if (OutputFormat < 0 || size_t(OutputFormat) >= FileFormats().size()) OutputFormat = ofMP3;
  SampleRate = std::clamp(SampleRate, 0, 3);
  BitRate = std::clamp(BitRate, 0, 13);
  MaxBitRate = std::clamp(MaxBitRate, 0, 13);
  Mode = std::clamp(Mode, 0, 3);
  Quality = std::clamp(Quality, 0, 3);
  VBRQuality = std::clamp(VBRQuality, 0, 9);
  NormalizeFactor = std::clamp(NormalizeFactor, 1, 100);
  ProxyPort = std::clamp(ProxyPort, 0, 65535);
  EncoderThreads = std::clamp(EncoderThreads, 0, 64);
  FlacLevel = std::clamp(FlacLevel, 0, 8);
  OpusBitRate = std::clamp(OpusBitRate, 32, 512);
  CDDBTimeOut = std::clamp(CDDBTimeOut, 1, 600);
  ReadOffset = std::clamp(ReadOffset, -3000, 3000);

  const platform::TProfileFile cdrip(platform::CdripIniPath());
  nActive = std::max(0, cdrip.ReadInt("CD-ROM", "nActive", nActive));
  nTransportLayer = cdrip.ReadInt("CD-ROM", "nTransportLayer", nTransportLayer);
  return true;
}

bool TConfig::Save() {
  const QString section = QString::fromLatin1(kConfigSection);
  platform::TRegistryStore* store = FReg->Store();
  store->BeginBatch();
  for (const TStoredValue& value : kStoredValues) {
    const QString name = QString::fromLatin1(value.Name);
    std::visit(TVisitor{
                   [&](int32_t TConfig::*f) { FReg->WriteIntegerValue(section, name, this->*f); },
                   [&](bool TConfig::*f) { FReg->WriteBoolValue(section, name, this->*f); },
                   [&](QString TConfig::*f) { FReg->WriteStringValue(section, name, this->*f); },
               },
               value.Field);
  }
  return store->EndBatch();
}

void TConfig::Assign(const TConfig& source) {
  for (const TStoredValue& value : kStoredValues)
    std::visit([&](auto f) { this->*f = source.*f; }, value.Field);
  nActive = source.nActive;
  nTransportLayer = source.nTransportLayer;
  DriveParams = source.DriveParams;
}
