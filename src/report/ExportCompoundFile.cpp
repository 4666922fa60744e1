#include "report/ExportCompoundFile.h"

#include <QVector>
#include <QtEndian>
#include <cstring>

namespace report {

namespace {

constexpr quint32 FreeSect = 0xFFFFFFFF;
constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 FatSect = 0xFFFFFFFD;
constexpr quint32 DifSect = 0xFFFFFFFC;
constexpr quint32 NoStream = 0xFFFFFFFF;
constexpr int SectorSize = 512;
constexpr int EntriesPerFatSector = SectorSize / 4;
constexpr int HeaderDifatEntries = 109;

void put16(char *p, quint16 v) { qToLittleEndian(v, p); }
void put32(char *p, quint32 v) { qToLittleEndian(v, p); }

void directoryEntry(char *e, const QString &name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    std::memset(e, 0, 128);
    const int n = std::min<int>(name.size(), 31);
    for (int i = 0; i < n; ++i)
        put16(e + 2 * i, name.at(i).unicode());
    put16(e + 64, quint16(n ? (n + 1) * 2 : 0));
    e[66] = char(type);
    e[67] = 1; // black
    put32(e + 68, NoStream);
    put32(e + 72, NoStream);
    put32(e + 76, child);
    put32(e + 116, start);
    put32(e + 120, size);
}

} // namespace

QByteArray compoundFileWithStream(const QString &streamName, QByteArray stream)
{
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    const quint32 streamSize = quint32(stream.size());
    const quint32 streamSectors = (streamSize + SectorSize - 1) / SectorSize;
    const quint32 dirSectors = 1; // root, the stream, two unused entries

    // FAT sectors must map every sector, themselves and the DIFAT sectors included.
    quint32 fatSectors = 1, difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > HeaderDifatEntries
                           ? (fatSectors - HeaderDifatEntries + EntriesPerFatSector - 2) / (EntriesPerFatSector - 1)
                           : 0;
        const quint32 total = streamSectors + dirSectors + fatSectors + difatSectors;
        if (quint64(fatSectors) * EntriesPerFatSector >= total)
            break;
        ++fatSectors;
    }
    const quint32 dirStart = streamSectors;
    const quint32 fatStart = dirStart + dirSectors;
    const quint32 difatStart = fatStart + fatSectors;
    const quint32 totalSectors = difatStart + difatSectors;

    QByteArray file(SectorSize * (qsizetype(totalSectors) + 1), '\0');
    char *h = file.data();
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(h, signature, 8);
    put16(h + 24, 0x003E); // minor version
    put16(h + 26, 0x0003); // major version 3
    put16(h + 28, 0xFFFE); // little-endian
    put16(h + 30, 9);      // 512-byte sectors
    put16(h + 32, 6);      // 64-byte mini sectors
    put32(h + 44, fatSectors);
    put32(h + 48, dirStart);
    put32(h + 56, 4096);   // mini stream cut-off
    put32(h + 60, EndOfChain);
    put32(h + 64, 0);
    put32(h + 68, difatSectors ? difatStart : EndOfChain);
    put32(h + 72, difatSectors);
    for (int i = 0; i < HeaderDifatEntries; ++i)
        put32(h + 76 + 4 * i, quint32(i) < fatSectors ? fatStart + quint32(i) : FreeSect);

    auto sector = [&](quint32 s) { return file.data() + SectorSize * (qsizetype(s) + 1); };
    std::memcpy(sector(0), stream.constData(), stream.size());

    char *dir = sector(dirStart);
    directoryEntry(dir, QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    directoryEntry(dir + 128, streamName, 2, NoStream, 0, streamSize);
    for (int i = 2; i < 4; ++i) {
        char *e = dir + 128 * i;
        std::memset(e, 0, 128);
        put32(e + 68, NoStream);
        put32(e + 72, NoStream);
        put32(e + 76, NoStream);
    }

    QVector<quint32> fat(qsizetype(fatSectors) * EntriesPerFatSector, FreeSect);
    for (quint32 s = 0; s < streamSectors; ++s)
        fat[s] = s + 1 < streamSectors ? s + 1 : EndOfChain;
    fat[dirStart] = EndOfChain;
    for (quint32 s = 0; s < fatSectors; ++s)
        fat[fatStart + s] = FatSect;
    for (quint32 s = 0; s < difatSectors; ++s)
        fat[difatStart + s] = DifSect;
    for (quint32 s = 0; s < fatSectors; ++s)
        for (int k = 0; k < EntriesPerFatSector; ++k)
            put32(sector(fatStart + s) + 4 * k, fat[qsizetype(s) * EntriesPerFatSector + k]);

    // FAT sectors beyond the header's 109, 127 to a DIFAT sector, chained by its last entry.
    quint32 next = HeaderDifatEntries;
    for (quint32 d = 0; d < difatSectors; ++d) {
        char *p = sector(difatStart + d);
        for (int k = 0; k < EntriesPerFatSector - 1; ++k, ++next)
            put32(p + 4 * k, next < fatSectors ? fatStart + next : FreeSect);
        put32(p + 4 * (EntriesPerFatSector - 1), d + 1 < difatSectors ? difatStart + d + 1 : EndOfChain);
    }
    return file;
}

} // namespace report
