#include "cddb/SptiCD.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/MessageBox.h"

namespace {

constexpr int kTocBytes = 804;

// An open device, closed with its owner.
class TDevice {
 public:
  explicit TDevice(const QString& path)
      : FFd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK)) {}
  ~TDevice() {
    if (FFd >= 0) ::close(FFd);
  }
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;
  int Fd() const { return FFd; }

 private:
  int FFd;
};

// Sends a data-in command; 0 on success, else an errno value (EIO for a
// command the drive refused).
int PassThrough(int fd, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data, unsigned length,
                unsigned timeoutMs) {
  uint8_t sense[24] = {};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.dxfer_direction = SG_DXFER_FROM_DEV;
  io.cmd_len = cdbLength;
  io.cmdp = const_cast<uint8_t*>(cdb);
  io.dxferp = data;
  io.dxfer_len = length;
  io.mx_sb_len = sizeof sense;
  io.sbp = sense;
  io.timeout = timeoutMs;
  if (::ioctl(fd, SG_IO, &io) < 0) return errno;
  return (io.info & SG_INFO_OK_MASK) == SG_INFO_OK ? 0 : EIO;
}

// The TOC through the CD-ROM ioctls, laid out as a READ TOC (MSF) answer.
bool ReadTocIoctl(int fd, uint8_t* toc) {
  std::memset(toc, 0, kTocBytes);
  cdrom_tochdr header{};
  if (::ioctl(fd, CDROMREADTOCHDR, &header) < 0 || header.cdth_trk1 < header.cdth_trk0)
    return false;
  toc[2] = header.cdth_trk0;
  toc[3] = header.cdth_trk1;
  const int count = header.cdth_trk1 - header.cdth_trk0 + 1;
  for (int i = 0; i <= count && 4 + 8 * (i + 1) <= kTocBytes; ++i) {
    cdrom_tocentry entry{};
    entry.cdte_track = i == count ? CDROM_LEADOUT : uint8_t(header.cdth_trk0 + i);
    entry.cdte_format = CDROM_MSF;
    if (::ioctl(fd, CDROMREADTOCENTRY, &entry) < 0) return false;
    uint8_t* descriptor = toc + 4 + 8 * i;
    descriptor[1] = uint8_t((entry.cdte_adr << 4) | entry.cdte_ctrl);
    descriptor[2] = entry.cdte_track;
    descriptor[5] = entry.cdte_addr.msf.minute;
    descriptor[6] = entry.cdte_addr.msf.second;
    descriptor[7] = entry.cdte_addr.msf.frame;
  }
  return true;
}

}  // namespace

QStringList ListDrives() {
  QStringList drives = QDir("/dev").entryList({"sr[0-9]*"}, QDir::System | QDir::Files);
  std::sort(drives.begin(), drives.end(),
            [](const QString& a, const QString& b) { return a.mid(2).toInt() < b.mid(2).toInt(); });
  for (QString& drive : drives) drive.prepend("/dev/");
  return drives;
}

QString DriveName(const QString& device) {
  TDevice drive(device);
  if (drive.Fd() < 0) return QString();
  uint8_t data[100] = {};
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, sizeof data, 0};
  if (PassThrough(drive.Fd(), inquiry, sizeof inquiry, data, sizeof data, 2000) != 0)
    return QString();
  auto text = [&data](int from, int length) {
    return QString::fromLatin1(reinterpret_cast<const char*>(data) + from, length).trimmed();
  };
  return text(8, 8) + text(16, 16) + text(32, 4);
}

TCDInfo TocToCDInfo(const uint8_t* toc, size_t size) {
  TCDInfo info{};
  if (size < 4 || toc[3] < toc[2]) return info;
  const int count = std::min<int>(toc[3] - toc[2] + 1, LCDDB_MAX_TRACKS);
  // The descriptors present, the lead-out's included.
  const int present = int((size - 4) / 8);
  if (present < count + 1) return info;
  info.TrackCount = uint8_t(count);
  for (int i = 0; i < count; ++i) {
    const uint8_t* descriptor = toc + 4 + 8 * i;
    info.Tracks[i].Min = descriptor[5];
    info.Tracks[i].Sec = descriptor[6];
    info.Tracks[i].Frame = descriptor[7];
    info.Tracks[i].Audio = (descriptor[1] & 0x04) ? 0 : -1;
  }
  const uint8_t* leadOut = toc + 4 + 8 * count;
  info.LeadOutMin = leadOut[5];
  info.LeadOutSec = leadOut[6];
  info.LeadOutFrame = leadOut[7];
  return info;
}

bool ReadTOC(const QString& device, TCDInfo& info) {
  info = TCDInfo{};
  TDevice drive(device);
  if (drive.Fd() < 0) {
    if (errno == EACCES || errno == EPERM)
      platform::MessageBox(
          QString("Permission denied on %1: reading the disc's table of contents needs "
                  "membership in the group that owns the drive (usually cdrom: "
                  "sudo usermod -aG cdrom $USER, then log in again).")
              .arg(device),
          "Error", platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  uint8_t toc[kTocBytes] = {};
  const uint8_t readToc[10] = {0x43, 2, 0, 0, 0, 0, 0, kTocBytes >> 8, kTocBytes & 0xFF, 0};
  const int error = PassThrough(drive.Fd(), readToc, sizeof readToc, toc, sizeof toc, 5000);
  if (error == EACCES || error == EPERM) {
    platform::MessageBox(
        QString("You must have write access to %1 to use SCSI pass-through; falling back to "
                "IOCTL. This may cause erroneous results if a Mixed-Mode CD is in the drive.")
            .arg(device),
        "Error", platform::MB_OK | platform::MB_ICONERROR);
  } else if (error != 0 && error != EIO && error != ENOTTY && error != EINVAL) {
    // ENOTTY and EINVAL: the device has no pass-through at all; fall back quietly.
    platform::MessageBox(QString::asprintf("Error: %ld\n\r", long(error)), "Error",
                         platform::MB_OK | platform::MB_ICONERROR);
  }
  if (error != 0 && !ReadTocIoctl(drive.Fd(), toc)) return false;
  info = TocToCDInfo(toc, sizeof toc);
  return info.TrackCount > 0;
}

bool ReadFirstDriveTOC(TCDInfo& info) { return ReadFirstDriveTOC(info, ListDrives()); }

bool ReadFirstDriveTOC(TCDInfo& info, const QStringList& devices) {
  info = TCDInfo{};
  if (!devices.isEmpty()) ReadTOC(devices.first(), info);
  return true;
}
