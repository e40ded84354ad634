#include "http/http.h"

THTTPModule* HTTPModule = nullptr;

THTTPModule::THTTPModule(QObject* parent) : QObject(parent) {}

THTTPModule::~THTTPModule()
{
    if (HTTPModule == this)
        HTTPModule = nullptr;
}
