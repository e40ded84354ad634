// THTTPModule: the blocking HTTP requests to the devices' web servers.
#pragma once
#include <QObject>

class THTTPModule : public QObject {
    Q_OBJECT
public:
    explicit THTTPModule(QObject* parent = nullptr);
    ~THTTPModule() override;
};

// The one THTTPModule of the running program (set when it is created, cleared when it is destroyed).
extern THTTPModule* HTTPModule;
