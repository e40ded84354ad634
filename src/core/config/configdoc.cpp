#include "core/config/configdoc.h"

// Placeholder until the reader lands.
TConfigDocument ReadConfig(const QByteArray& bytes)
{
    TConfigDocument doc;
    doc.Decoded = QString::fromUtf8(bytes);
    doc.Encoding = "UTF-8";
    doc.Ok = true;
    return doc;
}

TConfigDocument ReadConfigFile(const std::string& path)
{
    (void)path;
    return {};
}
