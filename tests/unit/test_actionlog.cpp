// The action log model: what reaches the status bar panels and the kept log, and the line form.
#include "core/log/actionlog.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {
// "<date> hh:mm:ss": a date in any form, one space, the time with seconds.
bool IsDateAndTime(const std::string& s)
{
    const char* form = " dd:dd:dd";
    if (s.size() <= 9)
        return false;
    const std::string tail = s.substr(s.size() - 9);
    for (int i = 0; i < 9; ++i)
        if (form[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(tail[i])) : tail[i] != form[i])
            return false;
    return true;
}

// Records everything the logger hands out.
struct Recorder {
    explicit Recorder(TActionLogger& log)
    {
        log.OnCaption = [this](const std::string& s) { Captions.push_back(s); };
        log.OnMessage = [this](const std::string& s) { Messages.push_back(s); };
        log.OnLine = [this](const TLogLine& l) { Lines.push_back(l.Text); };
        log.Now = [this] {
            ++ClockReads;
            return std::string("09.12.2026 06:16:25");
        };
    }
    std::vector<std::string> Captions, Messages, Lines;
    int ClockReads = 0;
};
} // namespace

TEST(ActionLog, EmptyCaptionOrMessageRules)
{
    struct Row {
        const char* caption;
        const char* message;
        bool stamps;
        std::vector<std::string> captions, messages, lines;
        const char* why;
    } rows[] = {
        {"Cap", "Msg", false, {"Cap"}, {"Msg"}, {" Msg"}, "both shown, the line starts with one space"},
        {"", "Msg", false, {}, {"Msg"}, {" Msg"}, "an empty caption leaves panel 0 alone"},
        {"Cap", "", true, {"Cap"}, {}, {}, "an empty message logs nothing, even with time stamps"},
        {"", "", true, {}, {}, {}, "both empty: no effect at all"},
        {"Cap", "Msg", true, {"Cap"}, {"Msg"}, {" [09.12.2026 06:16:25]   Msg"},
         "panel 1 gets the message without the time stamp"},
    };
    for (const Row& r : rows) {
        TActionLogger log;
        Recorder rec(log);
        log.TimeStamps = r.stamps;
        log.LogAction(r.caption, r.message, LOG_INFO);
        EXPECT_EQ(rec.Captions, r.captions) << r.why;
        EXPECT_EQ(rec.Messages, r.messages) << r.why;
        EXPECT_EQ(rec.Lines, r.lines) << r.why;
        ASSERT_EQ(log.ActionLog.size(), r.lines.size()) << r.why;
        if (!r.lines.empty()) {
            EXPECT_EQ(log.ActionLog[0].Text, r.lines[0]) << r.why;
        }
        if (r.message[0] == '\0') {
            EXPECT_EQ(rec.ClockReads, 0) << "no clock read for a line that is not logged";
        }
    }
}

TEST(ActionLog, LinesKeepOrderLevelAndTheStampOfTheirMoment)
{
    TActionLogger log;
    Recorder rec(log);
    log.LogAction("", "first", LOG_DEBUG);  // time stamps are off until the settings are read
    log.TimeStamps = true;
    log.LogAction("", "->> Sending", LOG_DEBUG);
    log.LogAction("", "failed", LOG_ERROR);
    log.TimeStamps = false;
    log.LogAction("", "  kept as is  ", LOG_WARNING);

    ASSERT_EQ(log.ActionLog.size(), 4u);
    const std::pair<const char*, int> expected[] = {
        {" first", LOG_DEBUG},
        {" [09.12.2026 06:16:25]   ->> Sending", LOG_DEBUG},
        {" [09.12.2026 06:16:25]   failed", LOG_ERROR},
        {"   kept as is  ", LOG_WARNING},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(log.ActionLog[i].Text, expected[i].first);
        EXPECT_EQ(log.ActionLog[i].Level, expected[i].second);
    }
}

TEST(ActionLog, RealClockGivesDateAndTimeWithSeconds)
{
    const std::string now = TActionLogger::LocalTimeText();
    EXPECT_TRUE(IsDateAndTime(now)) << now;

    TActionLogger log;  // no clock seam: the real clock is used
    log.TimeStamps = true;
    log.LogAction("", "M", LOG_INFO);
    ASSERT_EQ(log.ActionLog.size(), 1u);
    const std::string& text = log.ActionLog[0].Text;
    ASSERT_GT(text.size(), 6u);
    EXPECT_EQ(text.substr(0, 2), " [");
    EXPECT_EQ(text.substr(text.size() - 5), "]   M");
    EXPECT_TRUE(IsDateAndTime(text.substr(2, text.size() - 7))) << text;
}

TEST(ActionLog, GlobalEntryGoesToTheCurrentLogger)
{
    SetCurrentLogger(nullptr);
    LogAction("Cap", "lost", LOG_INFO);  // no logger: nothing happens, nothing breaks

    TActionLogger log;
    SetCurrentLogger(&log);
    EXPECT_EQ(CurrentLogger(), &log);
    LogAction("Cap", "kept", LOG_ERROR);
    SetCurrentLogger(nullptr);
    ASSERT_EQ(log.ActionLog.size(), 1u);
    EXPECT_EQ(log.ActionLog[0].Text, " kept");
    EXPECT_EQ(log.ActionLog[0].Level, LOG_ERROR);
}
