#include "core/http/http.h"

THTTPModule::THTTPModule() = default;
THTTPModule::~THTTPModule() = default;
