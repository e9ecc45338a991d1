// Drive probing for the CDDB client: a table of contents read straight from
// the first CD drive, through SCSI pass-through (SG_IO READ TOC in MSF form),
// falling back to the CD-ROM table-of-contents ioctls. Independent of the
// CD-reading library. User-interface thread (it may show message boxes).
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "cddb/LocalCDDB.h"

// The CD drives' device paths (/dev/sr0, /dev/sr1, ...) in number order.
QStringList ListDrives();

// Vendor, product and revision of a drive from its INQUIRY data, joined
// without separators; empty when the drive does not answer.
QString DriveName(const QString& device);

// Reads the TOC of the device into the record; a drive that cannot be opened
// or read leaves it zero. False when nothing was read.
bool ReadTOC(const QString& device, TCDInfo& info);

// The TOC of the first of the given drives (all CD drives by default) into
// the record, zero without a drive. True when the pass-through interface is
// usable, which on Linux it always is.
bool ReadFirstDriveTOC(TCDInfo& info);
bool ReadFirstDriveTOC(TCDInfo& info, const QStringList& devices);

// Converts a READ TOC (MSF) answer: a 4-byte header with the first and last
// track numbers, then 8-byte descriptors with the control bits and the MSF
// address; the descriptor after the last track is the lead-out.
TCDInfo TocToCDInfo(const uint8_t* toc, size_t size);
