#include "verify/AccurateRipClient.h"

namespace {
// A dBAR file holds 13 + 9 * tracks bytes per pressing; a few hundred
// pressings of a full disc stay far below this.
constexpr qint64 kMaxDbarBytes = 512 * 1024;
}  // namespace

TAccurateRipClient::TAccurateRipClient()
    : FLookup(kMaxDbarBytes, [this](const QByteArray& body) {
        auto blocks = ParseDbar(body, FIds);
        if (!blocks) return QString("%1 bytes").arg(body.size());
        FBlocks = std::move(*blocks);
        return QString();
      }) {
  FLookup.OnDone = [this] {
    if (OnDone) OnDone();
  };
}

void TAccurateRipClient::Start(const QString& server, const TArDiscIds& ids, int timeoutMs) {
  FIds = ids;
  FBlocks.clear();
  const bool none = server.trimmed().isEmpty() || ids.AudioTracks == 0;
  FLookup.Start(none ? QString() : DbarUrl(server, ids), timeoutMs);
}
