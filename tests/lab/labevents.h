// The simulator's events file of the lab run ($PYXET_LAB_EVENTS, one JSON object a line): the
// events of the kinds given, in the order they were written; and files for the tests to send.
#pragma once
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

inline std::vector<QJsonObject> LabEvents(const QStringList& kinds)
{
    std::vector<QJsonObject> out;
    std::ifstream in(std::getenv("PYXET_LAB_EVENTS"));
    for (std::string line; std::getline(in, line);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (kinds.contains(o[QStringLiteral("event")].toString()))
            out.push_back(o);
    }
    return out;
}

// A file of these bytes in the temporary folder (an image to upload), its name made this process's
// own (other runs may use the folder at the same time); its path, "" when it could not be written.
inline QString LabFile(const QString& name, const QByteArray& bytes)
{
    const QString own = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
    const QString path = QDir::temp().absoluteFilePath(own);
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() ? path : QString();
}
