#include "http/http.h"

THTTPModule* HTTPModule = nullptr;

THTTPModule::THTTPModule(QObject* parent) : QObject(parent)
{
    HTTPModule = this;  // the latest one created serves the program
}

THTTPModule::~THTTPModule()
{
    if (HTTPModule == this)
        HTTPModule = nullptr;
}
