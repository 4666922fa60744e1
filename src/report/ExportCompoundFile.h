#pragma once
// A compound file (the container of .xls workbooks, version 3 with 512-byte sectors) holding
// one stream under the root storage. Written by our own code: no library in Debian writes it.
// The stream is padded to the 4096-byte cut-off, so it lies in regular sectors and the file
// needs no mini stream.

#include <QByteArray>
#include <QString>

namespace report {

QByteArray compoundFileWithStream(const QString &streamName, QByteArray stream);

} // namespace report
