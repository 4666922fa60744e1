#pragma once
// Small helpers shared by the benchmarks for the figures they print.

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <vector>

namespace arvex::bench {

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The process's peak resident memory (VmHWM) in MB, or -1 where it cannot be read.
inline double peakRssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace arvex::bench
