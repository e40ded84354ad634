// THTTPModule: the blocking HTTP requests to the devices' web servers.
#pragma once
#include <QObject>

class THTTPModule : public QObject {
    Q_OBJECT
public:
    explicit THTTPModule(QObject* parent = nullptr);
    ~THTTPModule() override;
};

// The one THTTPModule of the running program (set by the start-up; tests set their own).
extern THTTPModule* HTTPModule;
