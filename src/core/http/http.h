// THTTPModule: the blocking HTTP requests to the devices' web servers.
#pragma once

class THTTPModule {
public:
    THTTPModule();
    ~THTTPModule();
    THTTPModule(const THTTPModule&) = delete;
    THTTPModule& operator=(const THTTPModule&) = delete;
};
