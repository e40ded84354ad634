// Test helper: a progress window that keeps its lines as they finally read (a replaced line
// keeps its last text), written from any thread.
#pragma once
#include "core/http/batch.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

class TRecordedLines : public TProgressLines {
public:
    void AddLine(const std::string& text) override
    {
        std::lock_guard<std::mutex> guard(Lock);
        Lines.push_back(text);
    }
    void ReplaceLine(const std::string& text) override
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (!Lines.empty())
            Lines.back() = text;
    }
    bool Has(const std::string& text) const { return std::find(Lines.begin(), Lines.end(), text) != Lines.end(); }
    std::vector<std::string> Lines;
    std::mutex Lock;
};
