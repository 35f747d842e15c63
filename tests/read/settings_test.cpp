// Settings changed by name: each name reaches its own value, and what no setting can take is
// refused with the reason.
#include "read/settings.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(Settings, EachNameSetsItsOwnValue)
{
    std::set<std::string> names;
    for (const SettingInfo& setting : ReaderSettingList()) {
        SCOPED_TRACE(setting.Name);
        EXPECT_TRUE(names.insert(setting.Name).second);  // no name twice
        ReaderSettings settings;
        std::string error;
        ASSERT_TRUE(SetReaderSetting(&settings, setting.Name, 6, &error)) << error;
        // Only this value changed.
        const ReaderSettings defaults;
        for (const SettingInfo& other : ReaderSettingList()) {
            const double value = other.Real ? settings.*other.Real : settings.*other.Count;
            const double before = other.Real ? defaults.*other.Real : defaults.*other.Count;
            EXPECT_EQ(value, other.Name == setting.Name ? 6 : before) << other.Name;
        }
    }
    EXPECT_EQ(names.size(), 80u);  // every member of ReaderSettings: a new one must be listed
}

TEST(Settings, RefusesWhatNoSettingTakes)
{
    const struct {
        const char* Name;
        double Value;
        const char* Error;
    } cases[] = {
        {"enter_nois", 3, "no setting is called enter_nois"},
        {"enter_noise", -1, "setting enter_noise must be a number of at least 0"},
        {"settled_bits", 2.5, "setting settled_bits must be a whole number of at least 1"},
        {"faint_kept", 0, "setting faint_kept must be a whole number of at least 1"},
        {"high_pass_order", 3,
         "setting high_pass_order must be a whole number (even) of at least 1"},
    };
    for (const auto& c : cases) {
        ReaderSettings settings;
        std::string error;
        EXPECT_FALSE(SetReaderSetting(&settings, c.Name, c.Value, &error));
        EXPECT_EQ(error, c.Error);
    }
    ReaderSettings settings;
    std::string error;
    EXPECT_TRUE(SetReaderSetting(&settings, "pulses_below", 0, &error));
}

}  // namespace
