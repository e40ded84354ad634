// "Check Failed Devices" in the core: which devices the last batch or plan left failed or not
// started, found again among rows of devices that a later discovery made anew.
#include "core/http/faileddevices.h"
#include "core/protocols/hwg/product.h"
#include "core/protocols/orvex/product.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

template <class Family> class TQuiet : public Family {
public:
    void Update() override {}
    void FactoryDefault() override {}
    void Restart() override {}
};

// Rows of freshly made devices, as a discovery after the batch lists them.
struct TRows {
    std::vector<std::unique_ptr<TProduct>> Owned;
    std::vector<TDeviceRow> Rows;
    template <class Family> void Add(const std::string& mac)
    {
        Owned.push_back(std::make_unique<TQuiet<Family>>());
        Owned.back()->Info.MAC = mac;
        Rows.push_back({"line " + mac, Owned.back().get()});
    }
    void Orvex(const std::string& mac) { Add<TProductOrvex>(mac); }
    void Hwg(const std::string& mac) { Add<TProductHwg>(mac); }
};

TDeviceResult Result(bool ok)
{
    TDeviceResult result;
    result.Host = "10.0.0.1";
    result.Ok = ok;
    result.Error = ok ? "" : "Connection refused";
    return result;
}
TDeviceResult Ok() { return Result(true); }
TDeviceResult Failed() { return Result(false); }

}  // namespace

TEST(FailedDevices, FailuresAndDevicesNotStartedAreRememberedSuccessesAreNot)
{
    TFailedDevices failed;
    EXPECT_TRUE(failed.Empty());
    const std::vector<TUnitKey> batch = {
        UnitKey("00:0A:59:00:00:01", "Orvex"), UnitKey("00:0A:59:00:00:02", "Orvex"),
        UnitKey("00:0A:59:00:00:03", "Orvex"), UnitKey("00:0A:59:00:00:04", "Orvex"),
        UnitKey("00:0A:59:00:00:05", "Orvex")};
    // The batch ended after the third device: the last two were not started.
    failed.Record(batch, {Ok(), Failed(), Ok()});
    EXPECT_FALSE(failed.Empty());

    TRows list;
    for (int n = 1; n <= 5; ++n)
        list.Orvex("00:0A:59:00:00:0" + std::to_string(n));
    EXPECT_EQ(failed.Matching(list.Rows), (std::vector<int>{1, 3, 4}));
}

TEST(FailedDevices, MacBytesInAnyFormMatchAndTheFamilyTellsDevicesApart)
{
    TFailedDevices failed;
    failed.RecordFailed({UnitKey("00-0a-59-00-00-aa", "Orvex"), UnitKey("00:0A:59:00:00:BB", "HWG")});
    TRows list;
    list.Orvex("00:0A:59:00:00:AA");  // the same bytes, other separators and case
    list.Hwg("00:0A:59:00:00:AA");    // the same MAC in the other family
    list.Orvex("00:0A:59:00:00:BB");
    list.Hwg("00 0A 59 00 00 BB");  // not six bytes ParseMac takes: no device
    list.Hwg("000A590000BB");
    EXPECT_EQ(failed.Matching(list.Rows), (std::vector<int>{0, 4}));
    EXPECT_TRUE(failed.Contains(*list.Owned[0]));
    EXPECT_FALSE(failed.Contains(*list.Owned[1]));
}

TEST(FailedDevices, DevicesNoLongerListedAreSkippedAndANewBatchReplacesTheLast)
{
    TFailedDevices failed;
    failed.RecordFailed({UnitKey("00:0A:59:00:00:01", "HWG"), UnitKey("00:0A:59:00:00:02", "HWG"),
                         UnitKey("garbage", "HWG")});
    TRows list;
    list.Hwg("00:0A:59:00:00:02");  // 01 is gone
    list.Hwg("00:0A:59:00:00:03");
    EXPECT_EQ(failed.Matching(list.Rows), std::vector<int>{0});
    EXPECT_TRUE(failed.Matching({}).empty());

    // The next batch: 03 failed, 02 came through this time.
    failed.Record({UnitKey("00:0A:59:00:00:02", "HWG"), UnitKey("00:0A:59:00:00:03", "HWG")},
                  {Ok(), Failed()});
    EXPECT_EQ(failed.Matching(list.Rows), std::vector<int>{1});
    // A batch where everything came through leaves nothing.
    failed.Record({UnitKey("00:0A:59:00:00:03", "HWG")}, {Ok()});
    EXPECT_TRUE(failed.Empty());
    EXPECT_TRUE(failed.Matching(list.Rows).empty());
}
