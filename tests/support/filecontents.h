#pragma once
// What a file holds, for comparing with what a test expects; "(missing)" when it cannot be read.

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}
