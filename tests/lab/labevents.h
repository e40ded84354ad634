// The simulator's events file of the lab run ($PYXET_LAB_EVENTS, one JSON object a line): the
// events of the kinds given, in the order they were written.
#pragma once
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
