#include "read/settings.h"

#include <cmath>

namespace {

const std::vector<SettingInfo> SETTINGS = {
    {"high_pass_hz", &ReaderSettings::HighPassHz, nullptr},
    {"high_pass_order", nullptr, &ReaderSettings::HighPassOrder},
    {"strength_window_seconds", &ReaderSettings::StrengthWindowSeconds, nullptr},
    {"enter_noise", &ReaderSettings::EnterNoise, nullptr},
    {"enter_noise_in_run", &ReaderSettings::EnterNoiseInRun, nullptr},
    {"run_seconds", &ReaderSettings::RunSeconds, nullptr},
    {"leave_fraction", &ReaderSettings::LeaveFraction, nullptr},
    {"leave_noise", &ReaderSettings::LeaveNoise, nullptr},
    {"rise_from_valley", &ReaderSettings::RiseFromValley, nullptr},
    {"least_level", &ReaderSettings::LeastLevel, nullptr},
    {"least_level_leave", &ReaderSettings::LeastLevelLeave, nullptr},
    {"floor_seconds", &ReaderSettings::FloorSeconds, nullptr},
    {"floor_gate", &ReaderSettings::FloorGate, nullptr},
    {"floor_creep_seconds", &ReaderSettings::FloorCreepSeconds, nullptr},
    {"warm_up_seconds", &ReaderSettings::WarmUpSeconds, nullptr},
    {"history_seconds", &ReaderSettings::HistorySeconds, nullptr},
    {"pulse_band", &ReaderSettings::PulseBand, nullptr},
    {"rises_kept", nullptr, &ReaderSettings::RisesKept},
    {"dip_sides", &ReaderSettings::DipSides, nullptr},
    {"comparator_release_seconds", &ReaderSettings::ComparatorReleaseSeconds, nullptr},
    {"comparator_attack", &ReaderSettings::ComparatorAttack, nullptr},
    {"comparator_counts_agree", &ReaderSettings::ComparatorCountsAgree, nullptr},
    {"comparator_hysteresis", &ReaderSettings::ComparatorHysteresis, nullptr},
    {"comparator_resting_seconds", &ReaderSettings::ComparatorRestingSeconds, nullptr},
    {"comparator_onset", &ReaderSettings::ComparatorOnset, nullptr},
    {"comparator_side_ratio", &ReaderSettings::ComparatorSideRatio, nullptr},
    {"comparator_away", &ReaderSettings::ComparatorAway, nullptr},
    {"comparator_peak_follow", &ReaderSettings::ComparatorPeakFollow, nullptr},
    {"comparator_peak_least", &ReaderSettings::ComparatorPeakLeast, nullptr},
    {"run_bridge_seconds", &ReaderSettings::RunBridgeSeconds, nullptr},
    {"timed_agreement", &ReaderSettings::TimedAgreement, nullptr},
    {"shortest_burst", &ReaderSettings::ShortestBurst, nullptr},
    {"shortest_pause", &ReaderSettings::ShortestPause, nullptr},
    {"join_preference", &ReaderSettings::JoinPreference, nullptr},
    {"split_depth", &ReaderSettings::SplitDepth, nullptr},
    {"faint", &ReaderSettings::Faint, nullptr},
    {"faint_kept", nullptr, &ReaderSettings::FaintKept},
    {"settled_bits", nullptr, &ReaderSettings::SettledBits},
    {"level_change", &ReaderSettings::LevelChange, nullptr},
    {"young_pause_low", &ReaderSettings::YoungPauseLow, nullptr},
    {"young_pause_high", &ReaderSettings::YoungPauseHigh, nullptr},
    {"young_shortest", &ReaderSettings::YoungShortest, nullptr},
    {"young_longest", &ReaderSettings::YoungLongest, nullptr},
    {"unsettled_limit", nullptr, &ReaderSettings::UnsettledLimit},
    {"length_weight", &ReaderSettings::LengthWeight, nullptr},
    {"level_weight", &ReaderSettings::LevelWeight, nullptr},
    {"pace_longest_pause", &ReaderSettings::PaceLongestPause, nullptr},
    {"pace_shortest", &ReaderSettings::PaceShortest, nullptr},
    {"pace_longest", &ReaderSettings::PaceLongest, nullptr},
    {"pace_margin", &ReaderSettings::PaceMargin, nullptr},
    {"short_ok", &ReaderSettings::ShortOk, nullptr},
    {"too_short", &ReaderSettings::TooShort, nullptr},
    {"long_ok", &ReaderSettings::LongOk, nullptr},
    {"too_long", &ReaderSettings::TooLong, nullptr},
    {"clearly", &ReaderSettings::Clearly, nullptr},
    {"weakened", &ReaderSettings::Weakened, nullptr},
    {"worn_excess", &ReaderSettings::WornExcess, nullptr},
    {"large_excess", &ReaderSettings::LargeExcess, nullptr},
    {"worn_margin", &ReaderSettings::WornMargin, nullptr},
    {"lost_shortest", &ReaderSettings::LostShortest, nullptr},
    {"lost_longest", &ReaderSettings::LostLongest, nullptr},
    {"trusted_pulses", &ReaderSettings::TrustedPulses, nullptr},
    {"clear_length", &ReaderSettings::ClearLength, nullptr},
    {"trust_weight", &ReaderSettings::TrustWeight, nullptr},
    {"first_trust", &ReaderSettings::FirstTrust, nullptr},
    {"pulses_below", nullptr, &ReaderSettings::PulsesBelow},
    {"pulses_above", nullptr, &ReaderSettings::PulsesAbove},
    {"one_pulses_above", nullptr, &ReaderSettings::OnePulsesAbove},
    {"pulses_settle", &ReaderSettings::PulsesSettle, nullptr},
    {"pulses_overrule", &ReaderSettings::PulsesOverrule, nullptr},
    {"pulses_disagree", &ReaderSettings::PulsesDisagree, nullptr},
    {"pulses_counted", &ReaderSettings::PulsesCounted, nullptr},
    {"pulses_odd", &ReaderSettings::PulsesOdd, nullptr},
    {"pulses_odd_length", &ReaderSettings::PulsesOddLength, nullptr},
    {"pause_normal_low", &ReaderSettings::PauseNormalLow, nullptr},
    {"pause_normal_high", &ReaderSettings::PauseNormalHigh, nullptr},
    {"pause_limit_low", &ReaderSettings::PauseLimitLow, nullptr},
    {"pause_limit_high", &ReaderSettings::PauseLimitHigh, nullptr},
    {"clear_of_noise", &ReaderSettings::ClearOfNoise, nullptr},
    {"noise_entry", &ReaderSettings::NoiseEntry, nullptr},
};

}  // namespace

const std::vector<SettingInfo>& ReaderSettingList() { return SETTINGS; }

bool SetReaderSetting(ReaderSettings* settings, const std::string& name, double value,
                      std::string* error)
{
    for (const SettingInfo& setting : SETTINGS) {
        if (name != setting.Name) continue;
        if (!std::isfinite(value) || value < 0) {
            *error = "setting " + name + " must be a number of at least 0";
            return false;
        }
        if (setting.Real != nullptr) {
            settings->*setting.Real = value;
        } else if (value != std::floor(value) || value > 1e6 ||
                   (value < 1 && name.rfind("pulses_", 0) != 0) ||
                   (setting.Count == &ReaderSettings::HighPassOrder &&
                    value != 2 * std::floor(value / 2))) {
            *error = "setting " + name + " must be a whole number" +
                     (name == "high_pass_order" ? " (even)" : "") + " of at least 1";
            return false;
        } else {
            settings->*setting.Count = static_cast<int>(value);
        }
        return true;
    }
    *error = "no setting is called " + name;
    return false;
}
